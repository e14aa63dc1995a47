#pragma once
// How a frame holds its picture, decided here once for every file kind: a GIF's frame keeps the
// palette indices of its screen (a byte a pixel, coloured when its texture is filled), a PNG's
// keeps its composed A8R8G8B8 pixels (4 bytes a pixel, copied as they are). The budgets count
// each by its own size; both have their sizes in 16 bits.
#include <cstdint>
#include <string>

enum class FramePixels : std::uint8_t { Indexed, Argb };

constexpr std::uint64_t bytesPerPixel(FramePixels kind) { return kind == FramePixels::Argb ? 4 : 1; }

// The widest and tallest picture a frame holds.
constexpr std::uint32_t MaxFrameSide = 0xFFFF;

inline bool fitsFrame(std::uint64_t width, std::uint64_t height) {
  return width <= MaxFrameSide && height <= MaxFrameSide;
}

inline std::string frameTooLargeText(const std::string& file, std::uint64_t width, std::uint64_t height) {
  return file + " is too large: its frames are " + std::to_string(width) + " x " + std::to_string(height) +
         ", and Velquor shows frames of at most " + std::to_string(MaxFrameSide) + " x " +
         std::to_string(MaxFrameSide) + " pixels.";
}
