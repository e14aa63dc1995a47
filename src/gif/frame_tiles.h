#pragma once
// The pieces a frame's texture is filled in, one per pass through the staging texture: bands of
// rows, each cut into columns no wider than the staging texture, so that no single piece costs
// the game's thread much, whatever the frame's size.
#include <algorithm>
#include <cstdint>

struct FrameTile {
  unsigned left, top, width, height;
};

class FrameTiles {
 public:
  // The staging texture's size, and the pixels one tile holds at most (unless one row of a
  // column holds more).
  static constexpr unsigned StagingWidth = 1024, StagingHeight = 256;
  static constexpr unsigned TilePixels = 64 * 1024;

  FrameTiles(unsigned width, unsigned height)
      : width_(width),
        height_(height),
        columnWidth_(std::min(width, StagingWidth)),
        bandRows_(std::clamp(TilePixels / std::max(columnWidth_, 1u), 1u, StagingHeight)),
        columns_(columnWidth_ == 0 ? 0 : (width + columnWidth_ - 1) / columnWidth_),
        bands_((height + bandRows_ - 1) / bandRows_) {}

  unsigned count() const { return columns_ * bands_; }

  // Row by row, left to right; i < count().
  FrameTile operator[](unsigned i) const {
    const unsigned left = i % columns_ * columnWidth_, top = i / columns_ * bandRows_;
    return {left, top, std::min(columnWidth_, width_ - left), std::min(bandRows_, height_ - top)};
  }

 private:
  unsigned width_, height_, columnWidth_, bandRows_, columns_, bands_;
};
