#pragma once
// Inflating and unfiltering one frame, by libpng: the frame's compressed data is handed to it as
// the IDAT data of a PNG of the frame's size, with the file's own header fields, palette and
// transparency, and comes back as 32-bit A8R8G8B8 pixels (8 bits a channel: 16-bit samples keep
// their high byte, as browsers show them).
#include <cstdint>
#include <string>
#include <vector>

// The image header (IHDR) fields a frame shares with the file.
struct PngImageHeader {
  std::uint32_t width = 0, height = 0;
  std::uint8_t bitDepth = 0, colourType = 0, compression = 0, filter = 0, interlace = 0;
  // Bytes of filtered rows (filter byte included) of a width x height image, all passes of an
  // interlaced one counted: what inflating the frame must give.
  std::uint64_t rawBytes(std::uint32_t frameWidth, std::uint32_t frameHeight) const;
  // Empty when the fields make a PNG image; otherwise what is wrong.
  std::string problem() const;
};

struct PngFrameData {
  const PngImageHeader& header;
  const std::vector<std::uint8_t>& palette;       // PLTE's data, empty without one
  const std::vector<std::uint8_t>& transparency;  // tRNS's data, empty without one
};

// Decodes `compressed` for a frame of width x height into `pixels`, rows `stride` pixels apart.
// False with libpng's reason when the data does not make the frame.
bool decodeFramePixels(const PngFrameData& file, std::uint32_t width, std::uint32_t height,
                       const std::vector<std::uint8_t>& compressed, std::uint32_t* pixels, std::size_t stride,
                       std::string& why);
