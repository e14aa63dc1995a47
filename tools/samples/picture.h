#pragma once
// RGB pictures and the noise that makes them look photographed rather than drawn.
#include <cstdint>
#include <vector>

namespace Samples {

struct Rgb {
  float r, g, b;
};

// One frame in linear floats, 0..255 per channel, row by row.
struct Picture {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;
  Picture(int w, int h) : width(w), height(h), pixels(std::size_t(w) * h, Rgb{0, 0, 0}) {}
  Rgb& at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
};

// Smooth value noise in three dimensions (x, y, time), about -1..1.
float valueNoise(float x, float y, float z);
// Several octaves of value noise, each twice as fine and half as strong.
float fractalNoise(float x, float y, float z, int octaves);
// A fixed pseudo-random value in -1..1 for each pixel: film grain that does not move.
float grain(int x, int y, std::uint32_t seed);

Rgb mix(Rgb a, Rgb b, float t);
float smoothstep(float edge0, float edge1, float x);

// A shaded ball of the given colour, lit from the upper left, blended over the picture.
void drawBall(Picture& p, float cx, float cy, float radius, Rgb colour);
// A soft-edged filled rectangle rotated by angle (radians) around its centre.
void drawRotatedBox(Picture& p, float cx, float cy, float halfW, float halfH, float angle, Rgb colour);

}  // namespace Samples
