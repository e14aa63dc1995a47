#include "png/apng_canvas.h"

#include <algorithm>

namespace {

std::uint32_t channel(std::uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

// n / d rounded to nearest, halves up.
std::uint32_t divideRounded(std::uint64_t n, std::uint64_t d) { return static_cast<std::uint32_t>((2 * n + d) / (2 * d)); }

}  // namespace

std::uint32_t apngBlendOver(std::uint32_t source, std::uint32_t destination) {
  const std::uint32_t sa = source >> 24, da = destination >> 24;
  if (sa == 255 || da == 0) return source;
  if (sa == 0) return destination;
  // In 1/255^2 units: the source's own coverage and what shows of the destination through it.
  const std::uint64_t sw = sa * 255u, dw = (255u - sa) * da, aw = sw + dw;
  std::uint32_t out = divideRounded(aw, 255) << 24;
  for (int shift = 0; shift < 24; shift += 8)
    out |= divideRounded(channel(source, shift) * sw + channel(destination, shift) * dw, aw) << shift;
  return out;
}

ApngCanvas::ApngCanvas(std::uint32_t width, std::uint32_t height)
    : width_(width), pixels_(std::size_t{width} * height, 0) {}

void ApngCanvas::dispose() {
  const ApngRegion& r = region_;
  if (pending_ == ApngDispose::Background) {
    for (std::uint32_t y = 0; y < r.height; ++y) std::fill_n(row(y, r), r.width, 0u);
  } else if (pending_ == ApngDispose::Previous) {
    for (std::uint32_t y = 0; y < r.height; ++y)
      std::copy_n(saved_.data() + std::size_t{y} * r.width, r.width, row(y, r));
  }
  pending_ = ApngDispose::None;
}

void ApngCanvas::beginFrame(const ApngRegion& region, ApngDispose dispose) {
  this->dispose();
  if (dispose == ApngDispose::Previous) {
    saved_.resize(std::size_t{region.width} * region.height);
    for (std::uint32_t y = 0; y < region.height; ++y)
      std::copy_n(row(y, region), region.width, saved_.data() + std::size_t{y} * region.width);
  }
  pending_ = dispose;
  region_ = region;
}

void ApngCanvas::blendOver(const std::uint32_t* frame) {
  for (std::uint32_t y = 0; y < region_.height; ++y) {
    std::uint32_t* out = row(y, region_);
    const std::uint32_t* in = frame + std::size_t{y} * region_.width;
    for (std::uint32_t x = 0; x < region_.width; ++x) out[x] = apngBlendOver(in[x], out[x]);
  }
}
