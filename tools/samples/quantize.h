#pragma once
// Turns RGB pictures into palette indices the way GIF encoders do: an adaptive palette from
// median cut, then dithering, so the indices look like those of a real animated GIF.
#include <array>
#include <cstdint>
#include <vector>

#include "samples/picture.h"

namespace Samples {

using Colour = std::array<std::uint8_t, 3>;

enum class Dither { None, FloydSteinberg, Ordered };

// Up to `count` colours for the sampled pixels; `fixed` colours come first, at indices 0, 1, ...
std::vector<Colour> medianCutPalette(const std::vector<Rgb>& samples, int count, const std::vector<Colour>& fixed);

// Every `step`-th pixel of a picture, for building a palette.
void samplePixels(const Picture& picture, int step, std::vector<Rgb>& out);

class Quantizer {
 public:
  // Indices below `firstFree` are kept for colours matched exactly (a background, a key colour).
  Quantizer(std::vector<Colour> palette, int firstFree);
  std::vector<std::uint8_t> quantize(const Picture& picture, Dither dither);
  const std::vector<Colour>& palette() const { return palette_; }

 private:
  std::uint8_t nearest(float r, float g, float b);
  std::vector<Colour> palette_;
  int firstFree_;
  std::vector<std::int16_t> cache_;  // nearest index per 6-bit-per-channel colour, -1 unknown
};

}  // namespace Samples
