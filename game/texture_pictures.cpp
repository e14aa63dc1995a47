#include "game/texture_pictures.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "plugin/texture_format_names.h"

namespace Standin {

namespace {

enum : std::uint32_t {
  A8R8G8B8 = 21, X8R8G8B8 = 22, R5G6B5 = 23, A1R5G5B5 = 25, P8 = 41,
  DXT1 = 0x31545844, DXT3 = 0x33545844, DXT5 = 0x35545844
};

bool isBlockFormat(std::uint32_t f) { return f == DXT1 || f == DXT3 || f == DXT5; }

int channel(std::uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

std::uint16_t to565(std::uint32_t c) {
  return static_cast<std::uint16_t>(((channel(c, 16) * 31 + 127) / 255) << 11 | ((channel(c, 8) * 63 + 127) / 255) << 5 |
                                    (channel(c, 0) * 31 + 127) / 255);
}

std::uint16_t to1555(std::uint32_t c) {
  return static_cast<std::uint16_t>((channel(c, 24) >= 128 ? 0x8000 : 0) | ((channel(c, 16) * 31 + 127) / 255) << 10 |
                                    ((channel(c, 8) * 31 + 127) / 255) << 5 | (channel(c, 0) * 31 + 127) / 255);
}

std::array<int, 3> from565(std::uint16_t c) {
  const int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
  return {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
}

template <typename T>
void put(std::vector<std::uint8_t>& out, T value) {
  std::uint8_t bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  out.insert(out.end(), bytes, bytes + sizeof value);
}

int colourDistance(const std::array<int, 3>& a, std::uint32_t c) {
  const int dr = a[0] - channel(c, 16), dg = a[1] - channel(c, 8), db = a[2] - channel(c, 0);
  return dr * dr + dg * dg + db * db;
}

// The colour half of a DXT block: the two most distant colours as end points, each pixel the
// nearest of the four colours between them (always the four-colour mode).
void colourBlock(std::vector<std::uint8_t>& out, const std::uint32_t (&block)[16]) {
  std::uint32_t a = block[0], b = block[0];
  int farthest = -1;
  for (std::uint32_t p : block)
    for (std::uint32_t q : block)
      if (int d = colourDistance(from565(to565(p)), q); d > farthest) farthest = d, a = p, b = q;
  std::uint16_t c0 = to565(a), c1 = to565(b);
  if (c0 < c1) std::swap(c0, c1);
  const auto e0 = from565(c0), e1 = from565(c1);
  std::array<std::array<int, 3>, 4> palette{e0, e1, e0, e1};
  for (int k = 0; k < 3; ++k) {
    palette[2][k] = (2 * e0[k] + e1[k]) / 3;
    palette[3][k] = (e0[k] + 2 * e1[k]) / 3;
  }
  std::uint32_t indices = 0;
  for (int i = 0; i < 16; ++i) {
    int best = 0;
    for (int j = 1; j < 4; ++j)
      if (colourDistance(palette[j], block[i]) < colourDistance(palette[best], block[i])) best = j;
    if (c0 == c1) best = 0;
    indices |= static_cast<std::uint32_t>(best) << (2 * i);
  }
  put(out, c0);
  put(out, c1);
  put(out, indices);
}

// DXT3: four bits of alpha per pixel.
void explicitAlphaBlock(std::vector<std::uint8_t>& out, const std::uint32_t (&block)[16]) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= std::uint64_t((channel(block[i], 24) * 15 + 127) / 255) << (4 * i);
  put(out, bits);
}

// DXT5: the largest and smallest alpha as end points (eight-value mode), each pixel the nearest.
void interpolatedAlphaBlock(std::vector<std::uint8_t>& out, const std::uint32_t (&block)[16]) {
  int high = 0, low = 255;
  for (std::uint32_t p : block) high = std::max(high, channel(p, 24)), low = std::min(low, channel(p, 24));
  int values[8] = {high, low};
  for (int j = 1; j < 7; ++j) values[j + 1] = ((7 - j) * high + j * low) / 7;
  std::uint64_t bits = static_cast<std::uint64_t>(high) | static_cast<std::uint64_t>(low) << 8;
  for (int i = 0; i < 16; ++i) {
    int best = 0;
    for (int j = 1; j < 8; ++j)
      if (std::abs(values[j] - channel(block[i], 24)) < std::abs(values[best] - channel(block[i], 24))) best = j;
    if (high == low) best = 0;
    bits |= static_cast<std::uint64_t>(best) << (16 + 3 * i);
  }
  put(out, bits);
}

}  // namespace

bool isPictureFormat(std::uint32_t f) {
  return f == A8R8G8B8 || f == X8R8G8B8 || f == R5G6B5 || f == A1R5G5B5 || f == P8 || isBlockFormat(f);
}

std::string pictureFormatProblem(std::uint32_t f, int width, int height) {
  if (!isPictureFormat(f)) return "the stand-in cannot make textures of format " + textureFormatName(f);
  if (isBlockFormat(f) && (width % 4 != 0 || height % 4 != 0))
    return textureFormatName(f) + " textures need a width and height that are multiples of 4";
  return "";
}

int pictureTolerance(std::uint32_t f) {
  // Five bits keep a channel within 4 of the picture's; a reader rounds on its own, hence 8.
  return f == A8R8G8B8 || f == X8R8G8B8 || f == P8 ? 1 : 8;
}

std::vector<std::uint32_t> texturePicture(const TextureSpec& spec, const std::uint32_t* palette) {
  const int w = spec.width, h = spec.height;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // The gradient steps once per 8 x 8 tile, the checker alternates every 2 pixels.
      const int tx = x / 8 * 8, ty = y / 8 * 8;
      const std::uint32_t r = static_cast<std::uint32_t>(tx * 255 / std::max(1, w - 1));
      const std::uint32_t g = static_cast<std::uint32_t>(ty * 255 / std::max(1, h - 1));
      const std::uint32_t gradient = 0xFF000000u | r << 16 | g << 8 | (255 - r);
      const bool own = ((x >> 1) ^ (y >> 1)) & 1;
      std::uint32_t& p = pixels[static_cast<std::size_t>(y) * w + x];
      if (spec.format == P8) {
        // Indices: the checker between the tile's index and one of its own.
        const std::uint32_t index = own ? 255 - (r + g) / 2 : (r + g) / 2;
        p = palette ? palette[index] : 0xFF000000u | index * 0x010101u;
      } else {
        p = own ? spec.argb : gradient;
      }
    }
  return pixels;
}

EncodedPicture encodePicture(std::uint32_t f, int width, int height, const std::vector<std::uint32_t>& picture) {
  EncodedPicture e;
  e.d3dFormat = f == P8 ? A8R8G8B8 : f;
  auto at = [&](int x, int y) { return picture[static_cast<std::size_t>(y) * width + x]; };
  if (isBlockFormat(f)) {
    e.rows = height / 4;
    e.rowBytes = width / 4 * (f == DXT1 ? 8 : 16);
    for (int by = 0; by < height; by += 4)
      for (int bx = 0; bx < width; bx += 4) {
        std::uint32_t block[16];
        for (int i = 0; i < 16; ++i) block[i] = at(bx + i % 4, by + i / 4);
        if (f == DXT3) explicitAlphaBlock(e.bytes, block);
        if (f == DXT5) interpolatedAlphaBlock(e.bytes, block);
        colourBlock(e.bytes, block);
      }
    return e;
  }
  e.rows = height;
  const bool wide = e.d3dFormat == A8R8G8B8 || e.d3dFormat == X8R8G8B8;
  e.rowBytes = width * (wide ? 4 : 2);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (wide) put(e.bytes, at(x, y));
      else put(e.bytes, f == R5G6B5 ? to565(at(x, y)) : to1555(at(x, y)));
    }
  return e;
}

}  // namespace Standin
