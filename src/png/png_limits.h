#pragma once
// Bounds on every size a PNG file gives, each checked where the decoder reads it. The canvas and
// the frames' memory follow the GIF path's limits (gif_decoder.h, memory_limits.h); PNG adds
// its own number range and a bound on the compressed data one frame may carry.
#include <cstdint>

#include "gif/gif_decoder.h"
#include "gif/memory_limits.h"

namespace PngLimits {

// PNG's largest chunk length and image dimension: 2^31 - 1.
constexpr std::uint32_t MaxNumber = 0x7FFFFFFF;
// The largest canvas and frame, in pixels: the same 8192 x 8192 as a GIF's screen.
constexpr std::uint64_t MaxCanvasPixels = GifMaxScreenPixels;
// A decoded frame takes 4 bytes a pixel.
constexpr std::uint64_t BytesPerPixel = 4;
// Compressed data for a frame whose filtered rows take `rawBytes`: what deflate's stored blocks
// would need at worst (5 bytes a 64 KiB block) with room to spare. More than that is refused
// before it is read: no encoder needs it, and it would only keep memory or time busy.
constexpr std::uint64_t maxCompressedBytes(std::uint64_t rawBytes) { return rawBytes + rawBytes / 8 + 64 * 1024; }
// Ancillary chunks are read through (for their CRC) in pieces of this size, never kept.
constexpr std::uint32_t SkipPieceBytes = 16 * 1024;

}  // namespace PngLimits
