#pragma once
// Small GIF files for the module's tests: solid-colour frames over a four-colour table.
#include <cstdint>
#include <string>
#include <vector>

#include "gifwriter/gif_writer.h"

namespace TestGifs {

// Index 0 black (the background colour), 1 red, 2 green, 3 blue.
inline GifBytes palette() { return {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}; }

struct Frame {
  std::uint8_t index;       // every pixel of the frame
  std::uint16_t delayCs;    // hundredths of a second
};

inline GifImage solid(int width, int height, std::uint8_t index) {
  GifImage image;
  image.width = static_cast<std::uint16_t>(width);
  image.height = static_cast<std::uint16_t>(height);
  image.indices.assign(static_cast<std::size_t>(width) * height, index);
  return image;
}

// loop < 0 writes no loop extension.
inline GifBytes animated(int width, int height, const std::vector<Frame>& frames, int loop = -1) {
  GifWriter gif({static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), palette()});
  if (loop >= 0) gif.loop(static_cast<std::uint16_t>(loop));
  for (const auto& frame : frames) {
    gif.graphicControl({frame.delayCs}).image(solid(width, height, frame.index));
  }
  return gif.trailer().bytes();
}

// Red, green, blue, 10 hundredths each.
inline GifBytes threeColours(int size = 8) { return animated(size, size, {{1, 10}, {2, 10}, {3, 10}}); }

// Red all over, then green on the left half by an image of disposal `method`, then blue on the
// right half. The last frame is green and blue where the method is ignored; with it honoured,
// background (black) and blue for method 2, red and blue for method 3.
inline GifBytes disposingLeftHalf(std::uint8_t method, std::uint16_t delayCs = 10, int size = 16) {
  GifWriter gif({static_cast<std::uint16_t>(size), static_cast<std::uint16_t>(size), palette()});
  GifGraphicControl control{delayCs};
  GifImage left = solid(size / 2, size, 2), right = solid(size / 2, size, 3);
  right.left = static_cast<std::uint16_t>(size / 2);
  gif.graphicControl(control).image(solid(size, size, 1));
  control.disposal = method;
  gif.graphicControl(control).image(left);
  control.disposal = 0;
  return gif.graphicControl(control).image(right).trailer().bytes();
}

// A good first frame, then a byte that starts no block: "GIF file is corrupt!".
inline GifBytes corrupt() {
  GifWriter gif({8, 8, palette()});
  gif.graphicControl({10}).image(solid(8, 8, 1)).raw({0x00});
  return gif.bytes();
}

}  // namespace TestGifs
