#pragma once
// A picture of every composed frame of an animation side by side, each pixel as the module's
// texture will hold it, over a grey checkerboard where it is transparent (blended where a PNG's
// pixel is partly so).
#include <cstdint>
#include <vector>

#include "gif/frame_list.h"

struct ContactSheet {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // A8R8G8B8, row by row
  int columns = 0, rows = 0;
  int tileWidth = 0, tileHeight = 0;  // one frame, after scaling down
  int scale = 1;                      // frames are shown at 1 / scale of their size
};

// The gap between tiles and around them, in pixels.
constexpr int SheetGap = 4;
// Frames larger than this in either direction are scaled down by a whole factor to fit.
constexpr int SheetMaxTile = 256;
// At most this many frames a row, and rows at most this many pixels wide.
constexpr int SheetMaxColumns = 10;
constexpr int SheetMaxWidth = 2048;

ContactSheet makeContactSheet(const FrameList& frames, bool keepBackground);

// The checkerboard that stands for a transparent pixel at (x, y) of a tile.
std::uint32_t checkerboard(int x, int y);
// `colour` (A8R8G8B8) drawn over the checkerboard at (x, y), as a blending game draws it.
std::uint32_t overCheckerboard(std::uint32_t colour, int x, int y);
