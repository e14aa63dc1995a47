#pragma once
// Decodes one image's LZW code stream into the decoder's screen buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

struct GifDecoder;

// `data` holds the image's code bytes with the sub-block sizes removed; the rectangle is the
// decoder's frame rectangle; `scratch` is reused from image to image. Returns 1, or -1 for a code
// not yet in the table or when the code table cannot be allocated or grown (std::bad_alloc when
// the decoding buffer cannot be).
//
// Bounds: pixels of the rectangle that fall outside the logical screen are decoded and dropped
// (the image is clipped); characters of a string past the rectangle's last pixel are dropped;
// decoding stops once no later pixel can land on the screen. A stream that does not start with
// a clear code is decoded as if it did.
int lzwDecodeImage(GifDecoder& gif, int minCodeSize, const std::uint8_t* data, std::size_t size,
                   bool interlaced, std::vector<std::uint8_t>& scratch);
