#include <cstring>

#include "gif/animation_frame.h"
#include "gif/frame_list.h"
#include "gif/frame_tiles.h"
#include "gif/gif_decoder.h"
#include "gif/image_disposal.h"
#include "gif/memory_use.h"

AnimationFrame::~AnimationFrame() {
  releaseTexture();
  uncount();
}

void AnimationFrame::uncount() {
  MemoryUse::decoded -= counted_;
  counted_ = 0;
}

void AnimationFrame::takeArgb(std::uint16_t pictureWidth, std::uint16_t pictureHeight,
                              const std::uint32_t* pixels, std::int64_t delayMs) {
  uncount();
  indices.reset();
  width = pictureWidth;
  height = pictureHeight;
  const std::size_t count = std::size_t{width} * height;
  argb.reset(new std::uint32_t[count]);
  std::memcpy(argb.get(), pixels, count * sizeof *pixels);
  counted_ = FrameList::decodedBytes(width, height, 1, FramePixels::Argb);
  MemoryUse::decoded += counted_;
  delay = delayMs;
  backgroundColor = 0;
}

void AnimationFrame::build(GifDecoder* gif, const AnimationFrame* previous) {
  int result = gifNextFrame(gif);
  if (result == 0) throw no_frames_in_gif();
  if (result != 1) throw read_frame_error();
  compose(gif, previous);
}

void AnimationFrame::compose(GifDecoder* gif, const AnimationFrame* previous, ImageDisposal* disposal) {
  texture = nullptr;
  delay = 0;
  uncount();
  argb.reset();
  width = gif->width;
  height = gif->height;

  // Start from the previous picture (or the background), unless this image replaces every pixel;
  // with disposal honoured, from what the previous image left of itself.
  const std::size_t pixels = std::size_t{width} * height;
  indices.reset(new std::uint8_t[pixels]);
  counted_ = FrameList::decodedBytes(width, height, 1);
  MemoryUse::decoded += counted_;
  const bool replacesAll = !disposal && !gif->hasTransparency && gif->frameLeft == 0 &&
                           gif->frameTop == 0 && gif->frameWidth >= width && gif->frameHeight >= height;
  if (replacesAll)
    ;
  else if (previous)
    std::memcpy(indices.get(), previous->indices.get(), pixels);
  else
    std::memset(indices.get(), gif->backgroundIndex, pixels);
  if (disposal) {
    if (previous) disposal->apply(indices.get());
    disposal->noteImage(*gif, indices.get());
  }

  std::memcpy(palette, gif->palette->rgb, sizeof palette);
  // Draw the image's rectangle over the previous picture, clipped to the screen as the decoder
  // clips it; transparent pixels keep what was there.
  const ImageRectangle rectangle = ImageRectangle::of(*gif);
  const unsigned left = rectangle.left, right = rectangle.right;
  for (unsigned y = rectangle.top; y < rectangle.bottom; ++y) {
    const std::uint8_t* from = gif->indices + std::size_t{y} * width;
    std::uint8_t* to = indices.get() + std::size_t{y} * width;
    if (!gif->hasTransparency) {
      std::memcpy(to + left, from + left, right - left);
      continue;
    }
    for (unsigned x = left; x < right; ++x)
      if (from[x] != gif->transparentIndex) to[x] = from[x];
  }
  delay = std::int64_t{gif->delay} * 10;
  const std::uint8_t* background = gif->globalTable.rgb[gif->backgroundIndex];
  backgroundColor = 0xFF000000u | background[0] << 16 | background[1] << 8 | background[2];
}

namespace {
struct ColourLookup {
  std::uint32_t colour[256];
  ColourLookup(const std::uint8_t* palette, std::uint32_t backgroundColor, bool keepBackground) {
    for (int i = 0; i < 256; ++i) {
      const std::uint8_t* rgb = palette + 3 * i;
      std::uint32_t c = 0xFF000000u | rgb[0] << 16 | rgb[1] << 8 | rgb[2];
      colour[i] = c == backgroundColor && !keepBackground ? 0 : c;
    }
  }
};
}  // namespace

std::uint32_t AnimationFrame::pixel(int x, int y, bool keepBackground) const {
  if (argb) return argb[std::size_t{static_cast<unsigned>(y)} * width + x];
  const std::uint8_t* rgb = palette + 3 * indices[std::size_t{static_cast<unsigned>(y)} * width + x];
  std::uint32_t c = 0xFF000000u | rgb[0] << 16 | rgb[1] << 8 | rgb[2];
  return c == backgroundColor && !keepBackground ? 0 : c;
}

void AnimationFrame::writePixels(void* bits, int pitch, bool keepBackground) const {
  writeTile(bits, pitch, keepBackground, {0, 0, width, height});
}

void AnimationFrame::writeTile(void* bits, int pitch, bool keepBackground, const FrameTile& tile) const {
  if (argb) {
    for (unsigned y = 0; y < tile.height; ++y)
      std::memcpy(static_cast<std::uint8_t*>(bits) + static_cast<std::ptrdiff_t>(y) * pitch,
                  argb.get() + std::size_t{tile.top + y} * width + tile.left, tile.width * sizeof(std::uint32_t));
    return;
  }
  const ColourLookup lookup(palette, backgroundColor, keepBackground);
  for (unsigned y = 0; y < tile.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(bits) +
                                                 static_cast<std::ptrdiff_t>(y) * pitch);
    const std::uint8_t* from = indices.get() + std::size_t{tile.top + y} * width + tile.left;
    for (unsigned x = 0; x < tile.width; ++x) row[x] = lookup.colour[from[x]];
  }
}
