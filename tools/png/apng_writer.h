#pragma once
// Writes animated PNG files for tests and benchmarks: each frame a full-canvas A8R8G8B8 picture
// encoded by encodePng (png_writer.h), its image data moved into the animation's chunks.
#include <cstdint>
#include <vector>

namespace VelquorPng {

struct ApngFrame {
  std::vector<std::uint32_t> argb;  // width x height
  std::uint16_t delayMs = 100;
};

// Frames replace the whole canvas (no disposal, source blend); `plays` 0: for ever. Empty when a
// frame cannot be encoded.
std::vector<std::uint8_t> encodeApng(std::uint32_t width, std::uint32_t height, const std::vector<ApngFrame>& frames,
                                     std::uint32_t plays = 0);

}  // namespace VelquorPng
