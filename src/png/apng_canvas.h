#pragma once
// The picture an animated PNG's frames are drawn on, as browsers compose it: it starts fully
// transparent black; a frame replaces its region (blend "source") or is laid over it (blend
// "over", the PNG alpha compositing rule on non-premultiplied 8-bit values); after the frame has
// been shown its disposal leaves the region as drawn ("none"), clears it to transparent black
// ("background") or gives it back what it held before the frame ("previous"; on the first frame
// that is the transparent canvas, which is what "background" gives there too, as it must). Pixels are A8R8G8B8.
#include <cstdint>
#include <vector>

enum class ApngDispose : std::uint8_t { None = 0, Background = 1, Previous = 2 };
enum class ApngBlend : std::uint8_t { Source = 0, Over = 1 };

// A frame's rectangle, inside the canvas.
struct ApngRegion {
  std::uint32_t left = 0, top = 0, width = 0, height = 0;
};

// `source` laid over `destination`.
std::uint32_t apngBlendOver(std::uint32_t source, std::uint32_t destination);

class ApngCanvas {
 public:
  // A transparent canvas; throws std::bad_alloc when there is no room for it.
  ApngCanvas(std::uint32_t width, std::uint32_t height);

  // Does what the previous frame's disposal asks and keeps what this one's will need. Throws
  // std::bad_alloc when there is no room to keep what a "previous" disposal gives back.
  void beginFrame(const ApngRegion& region, ApngDispose dispose);
  // Where a frame blended as "source" is written straight: its top left pixel, rows `stride()`
  // pixels apart.
  std::uint32_t* frameOrigin() { return row(0, region_); }
  std::size_t stride() const { return width_; }
  // Lays `frame` (region.width x region.height pixels, row by row) over the region.
  void blendOver(const std::uint32_t* frame);
  const std::uint32_t* pixels() const { return pixels_.data(); }

 private:
  void dispose();
  std::uint32_t* row(std::uint32_t y, const ApngRegion& region) {
    return pixels_.data() + std::size_t{y + region.top} * width_ + region.left;
  }
  std::uint32_t width_;
  std::vector<std::uint32_t> pixels_;
  ApngDispose pending_ = ApngDispose::None;  // the current frame's disposal, done when the next begins
  ApngRegion region_;                         // the current frame's
  std::vector<std::uint32_t> saved_;  // "previous": the region before the last frame
};
