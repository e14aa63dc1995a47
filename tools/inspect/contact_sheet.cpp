#include "inspect/contact_sheet.h"

#include <algorithm>

namespace {
constexpr std::uint32_t GapColour = 0xFF404040u;
}

std::uint32_t checkerboard(int x, int y) { return ((x / 8 + y / 8) & 1) ? 0xFF9A9A9Au : 0xFFDADADAu; }

std::uint32_t overCheckerboard(std::uint32_t colour, int x, int y) {
  const std::uint32_t alpha = colour >> 24, under = checkerboard(x, y);
  if (alpha == 0xFF) return colour;
  std::uint32_t blended = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8)
    blended |= ((colour >> shift & 0xFF) * alpha + (under >> shift & 0xFF) * (0xFF - alpha) + 127) / 0xFF << shift;
  return blended;
}

ContactSheet makeContactSheet(const FrameList& list, bool keepBackground) {
  ContactSheet sheet;
  const int count = static_cast<int>(list.frames.size());
  if (count == 0 || list.width == 0 || list.height == 0) return sheet;
  sheet.scale = (std::max<int>(list.width, list.height) + SheetMaxTile - 1) / SheetMaxTile;
  sheet.tileWidth = std::max(1, list.width / sheet.scale);
  sheet.tileHeight = std::max(1, list.height / sheet.scale);
  sheet.columns = std::clamp((SheetMaxWidth - SheetGap) / (sheet.tileWidth + SheetGap), 1, std::min(count, SheetMaxColumns));
  sheet.rows = (count + sheet.columns - 1) / sheet.columns;
  sheet.width = SheetGap + std::uint32_t(sheet.columns) * (sheet.tileWidth + SheetGap);
  sheet.height = SheetGap + std::uint32_t(sheet.rows) * (sheet.tileHeight + SheetGap);
  sheet.pixels.assign(std::size_t(sheet.width) * sheet.height, GapColour);

  // Each frame's pixels exactly as its texture would be filled.
  std::vector<std::uint32_t> texture(std::size_t(list.width) * list.height);
  for (int i = 0; i < count; ++i) {
    list.frames[i]->writePixels(texture.data(), list.width * 4, keepBackground);
    const int left = SheetGap + (i % sheet.columns) * (sheet.tileWidth + SheetGap);
    const int top = SheetGap + (i / sheet.columns) * (sheet.tileHeight + SheetGap);
    for (int y = 0; y < sheet.tileHeight; ++y) {
      std::uint32_t* row = &sheet.pixels[std::size_t(top + y) * sheet.width + left];
      const std::uint32_t* source = &texture[std::size_t(y) * sheet.scale * list.width];
      for (int x = 0; x < sheet.tileWidth; ++x) {
        std::uint32_t c = source[std::size_t(x) * sheet.scale];
        row[x] = overCheckerboard(c, x, y);
      }
    }
  }
  return sheet;
}
