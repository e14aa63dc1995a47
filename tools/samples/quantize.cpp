#include "samples/quantize.h"

#include <algorithm>
#include <cmath>

namespace Samples {

namespace {

std::uint8_t clampByte(float v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

struct Box {
  std::size_t begin, end;
  int axis;
  float range;
};

float channel(const Rgb& c, int axis) { return axis == 0 ? c.r : axis == 1 ? c.g : c.b; }

Box measure(std::vector<Rgb>& s, std::size_t begin, std::size_t end) {
  float lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
  for (std::size_t i = begin; i < end; ++i)
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], channel(s[i], a));
      hi[a] = std::max(hi[a], channel(s[i], a));
    }
  int axis = 0;
  for (int a = 1; a < 3; ++a)
    if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
  return {begin, end, axis, (hi[axis] - lo[axis]) * std::sqrt(float(end - begin))};
}

// An 8x8 Bayer matrix, thresholds 0..63.
const std::uint8_t BayerMatrix[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                   {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                   {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                   {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

}  // namespace

void samplePixels(const Picture& picture, int step, std::vector<Rgb>& out) {
  for (std::size_t i = 0; i < picture.pixels.size(); i += step) out.push_back(picture.pixels[i]);
}

std::vector<Colour> medianCutPalette(const std::vector<Rgb>& samples, int count, const std::vector<Colour>& fixed) {
  std::vector<Colour> palette = fixed;
  int wanted = count - int(fixed.size());
  if (wanted <= 0 || samples.empty()) return palette;
  std::vector<Rgb> s = samples;
  std::vector<Box> boxes = {measure(s, 0, s.size())};
  while (int(boxes.size()) < wanted) {
    auto widest = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) { return a.range < b.range; });
    if (widest->range <= 0 || widest->end - widest->begin < 2) break;
    Box box = *widest;
    std::size_t middle = box.begin + (box.end - box.begin) / 2;
    std::nth_element(s.begin() + box.begin, s.begin() + middle, s.begin() + box.end,
                     [&](const Rgb& a, const Rgb& b) { return channel(a, box.axis) < channel(b, box.axis); });
    *widest = measure(s, box.begin, middle);
    boxes.push_back(measure(s, middle, box.end));
  }
  for (const Box& box : boxes) {
    float sum[3] = {0, 0, 0};
    for (std::size_t i = box.begin; i < box.end; ++i)
      for (int a = 0; a < 3; ++a) sum[a] += channel(s[i], a);
    float n = float(box.end - box.begin);
    palette.push_back({clampByte(sum[0] / n), clampByte(sum[1] / n), clampByte(sum[2] / n)});
  }
  return palette;
}

Quantizer::Quantizer(std::vector<Colour> palette, int firstFree)
    : palette_(std::move(palette)), firstFree_(firstFree), cache_(1 << 18, -1) {}

std::uint8_t Quantizer::nearest(float r, float g, float b) {
  int key = (clampByte(r) >> 2) << 12 | (clampByte(g) >> 2) << 6 | (clampByte(b) >> 2);
  if (cache_[key] >= 0) return static_cast<std::uint8_t>(cache_[key]);
  float cr = float((key >> 12) << 2) + 2, cg = float(((key >> 6) & 63) << 2) + 2, cb = float((key & 63) << 2) + 2;
  int best = firstFree_;
  float bestDistance = 1e30f;
  for (int i = firstFree_; i < int(palette_.size()); ++i) {
    float dr = cr - palette_[i][0], dg = cg - palette_[i][1], db = cb - palette_[i][2];
    float d = dr * dr * 0.3f + dg * dg * 0.59f + db * db * 0.11f;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  cache_[key] = static_cast<std::int16_t>(best);
  return static_cast<std::uint8_t>(best);
}

std::vector<std::uint8_t> Quantizer::quantize(const Picture& p, Dither dither) {
  std::vector<std::uint8_t> out(p.pixels.size());
  // Floyd-Steinberg error carried to this row and the next, with a margin column on each side.
  std::vector<Rgb> thisRow(p.width + 2, Rgb{0, 0, 0}), nextRow(p.width + 2, Rgb{0, 0, 0});
  for (int y = 0; y < p.height; ++y) {
    std::swap(thisRow, nextRow);
    std::fill(nextRow.begin(), nextRow.end(), Rgb{0, 0, 0});
    for (int x = 0; x < p.width; ++x) {
      Rgb c = p.pixels[std::size_t(y) * p.width + x];
      std::uint8_t index = 0;
      bool exact = false;
      for (int k = 0; k < firstFree_ && !exact; ++k)
        if (clampByte(c.r) == palette_[k][0] && clampByte(c.g) == palette_[k][1] && clampByte(c.b) == palette_[k][2]) {
          index = static_cast<std::uint8_t>(k);
          exact = true;
        }
      if (!exact) {
        if (dither == Dither::Ordered) {
          float t = (BayerMatrix[y & 7][x & 7] - 31.5f) * 0.5f;
          index = nearest(c.r + t, c.g + t, c.b + t);
        } else if (dither == Dither::FloydSteinberg) {
          Rgb want{c.r + thisRow[x + 1].r, c.g + thisRow[x + 1].g, c.b + thisRow[x + 1].b};
          index = nearest(want.r, want.g, want.b);
          const Colour& got = palette_[index];
          Rgb e{want.r - got[0], want.g - got[1], want.b - got[2]};
          auto spread = [](Rgb& to, const Rgb& e, float w) {
            to.r += e.r * w;
            to.g += e.g * w;
            to.b += e.b * w;
          };
          spread(thisRow[x + 2], e, 7 / 16.0f);
          spread(nextRow[x], e, 3 / 16.0f);
          spread(nextRow[x + 1], e, 5 / 16.0f);
          spread(nextRow[x + 2], e, 1 / 16.0f);
        } else {
          index = nearest(c.r, c.g, c.b);
        }
      }
      out[std::size_t(y) * p.width + x] = index;
    }
  }
  return out;
}

}  // namespace Samples
