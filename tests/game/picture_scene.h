#pragma once
// A scene of one picture texture per format the stand-in makes, and how far pixels read from one
// are from its picture: shared by the stand-in's own tests and the picker's.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/standin_types.h"
#include "game/texture_pictures.h"
#include "plugin/texture_format_names.h"

namespace PictureScene {

// The formats with alpha get colours that are not opaque; without the raster's alpha flag the
// stand-in still draws every quad opaque, in the texture's own colours.
inline std::vector<Standin::TextureSpec> everyFormat(int size = 32) {
  std::vector<Standin::TextureSpec> scene;
  const char* formats[] = {"A8R8G8B8", "X8R8G8B8", "R5G6B5", "A1R5G5B5", "DXT1", "DXT3", "DXT5", "P8"};
  const std::uint32_t colours[] = {0x80E04020, 0xFF20E040, 0xFF2040E0, 0x00E0E020, 0xFF20E0E0, 0x80E020E0, 0x60FFFFFF,
                                   0xFF000000};
  for (int i = 0; i < 8; ++i) {
    Standin::TextureSpec spec{std::string("pic_") + formats[i], size, size, colours[i], 0x728320};
    spec.format = textureFormatByName(formats[i]);
    spec.palette = spec.format == textureFormatByName("P8");
    scene.push_back(spec);
  }
  return scene;
}

// The stand-in's palette record for P8: a grey ramp.
inline std::vector<std::uint32_t> picture(const Standin::TextureSpec& spec) {
  std::vector<std::uint32_t> ramp(256);
  for (std::uint32_t i = 0; i < 256; ++i) ramp[i] = 0xFF000000u | i * 0x010101u;
  return Standin::texturePicture(spec, ramp.data());
}

// The largest difference of a colour channel (and of alpha where withAlpha) between pixels and
// the texture's picture; `at(x, y)` reads the pixel.
template <typename At>
int worstDifference(const Standin::TextureSpec& spec, At&& at, bool withAlpha) {
  const std::vector<std::uint32_t> expected = picture(spec);
  int worst = 0;
  for (int y = 0; y < spec.height; ++y)
    for (int x = 0; x < spec.width; ++x) {
      const std::uint32_t want = expected[static_cast<std::size_t>(y) * spec.width + x], got = at(x, y);
      for (int shift = 0; shift < (withAlpha ? 32 : 24); shift += 8)
        worst = std::max(worst, std::abs(int((want >> shift) & 0xFF) - int((got >> shift) & 0xFF)));
    }
  return worst;
}

}  // namespace PictureScene
