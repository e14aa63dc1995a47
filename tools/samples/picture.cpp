#include "samples/picture.h"

#include <algorithm>
#include <cmath>

namespace Samples {

namespace {

std::uint32_t hash3(int x, int y, int z) {
  std::uint32_t h = std::uint32_t(x) * 374761393u + std::uint32_t(y) * 668265263u + std::uint32_t(z) * 2147483647u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

float lattice(int x, int y, int z) { return float(hash3(x, y, z) & 0xFFFF) / 32767.5f - 1.0f; }

float fade(float t) { return t * t * (3 - 2 * t); }

float lerp(float a, float b, float t) { return a + (b - a) * t; }

}  // namespace

float valueNoise(float x, float y, float z) {
  int xi = int(std::floor(x)), yi = int(std::floor(y)), zi = int(std::floor(z));
  float tx = fade(x - xi), ty = fade(y - yi), tz = fade(z - zi);
  float c[2];
  for (int k = 0; k < 2; ++k) {
    float top = lerp(lattice(xi, yi, zi + k), lattice(xi + 1, yi, zi + k), tx);
    float bottom = lerp(lattice(xi, yi + 1, zi + k), lattice(xi + 1, yi + 1, zi + k), tx);
    c[k] = lerp(top, bottom, ty);
  }
  return lerp(c[0], c[1], tz);
}

float fractalNoise(float x, float y, float z, int octaves) {
  float sum = 0, amplitude = 0.5f, scale = 1;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * valueNoise(x * scale, y * scale, z * scale + i * 17.0f);
    amplitude *= 0.5f;
    scale *= 2;
  }
  return sum;
}

float grain(int x, int y, std::uint32_t seed) { return lattice(x, y, int(seed)); }

Rgb mix(Rgb a, Rgb b, float t) { return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t)}; }

float smoothstep(float edge0, float edge1, float x) {
  float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

void drawBall(Picture& p, float cx, float cy, float radius, Rgb colour) {
  int x0 = std::max(0, int(cx - radius - 1)), x1 = std::min(p.width - 1, int(cx + radius + 1));
  int y0 = std::max(0, int(cy - radius - 1)), y1 = std::min(p.height - 1, int(cy + radius + 1));
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      float dx = (x - cx) / radius, dy = (y - cy) / radius;
      float d2 = dx * dx + dy * dy;
      if (d2 >= 1) continue;
      float edge = smoothstep(1.0f, 0.9f, std::sqrt(d2));
      float light = 0.35f + 0.65f * std::max(0.0f, -0.5f * dx - 0.6f * dy + 0.6f * std::sqrt(1 - d2));
      float highlight = std::pow(std::max(0.0f, 1 - ((dx + 0.35f) * (dx + 0.35f) + (dy + 0.4f) * (dy + 0.4f)) * 6), 2.0f);
      Rgb shaded{colour.r * light + 255 * highlight, colour.g * light + 255 * highlight, colour.b * light + 255 * highlight};
      p.at(x, y) = mix(p.at(x, y), shaded, edge);
    }
  }
}

void drawRotatedBox(Picture& p, float cx, float cy, float halfW, float halfH, float angle, Rgb colour) {
  float reach = std::sqrt(halfW * halfW + halfH * halfH) + 2;
  int x0 = std::max(0, int(cx - reach)), x1 = std::min(p.width - 1, int(cx + reach));
  int y0 = std::max(0, int(cy - reach)), y1 = std::min(p.height - 1, int(cy + reach));
  float c = std::cos(angle), s = std::sin(angle);
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      float u = (x - cx) * c + (y - cy) * s, v = -(x - cx) * s + (y - cy) * c;
      float inside = smoothstep(1.0f, -1.0f, std::max(std::fabs(u) - halfW, std::fabs(v) - halfH));
      if (inside <= 0) continue;
      float shade = 0.8f + 0.2f * (u / halfW);
      p.at(x, y) = mix(p.at(x, y), Rgb{colour.r * shade, colour.g * shade, colour.b * shade}, inside);
    }
  }
}

}  // namespace Samples
