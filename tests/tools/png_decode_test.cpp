// Round trips through libpng: whatever the writer's matches and strides, every pixel comes back.
#include <gtest/gtest.h>
#include <png.h>

#include <random>
#include <vector>

#include "png/png_writer.h"

namespace {

struct Decoded {
  bool ok = false;
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
};

Decoded decode(const std::vector<std::uint8_t>& png) {
  Decoded d;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return d;
  image.format = PNG_FORMAT_RGBA;
  d.rgba.resize(PNG_IMAGE_SIZE(image));
  d.ok = png_image_finish_read(&image, nullptr, d.rgba.data(), 0, nullptr) != 0;
  d.width = image.width;
  d.height = image.height;
  png_image_free(&image);
  return d;
}

// Encodes a picture held with the given stride (in pixels) and expects libpng to read it back.
void expectRoundTrip(std::uint32_t width, std::uint32_t height, const std::vector<std::uint32_t>& pixels,
                     std::size_t stridePixels) {
  std::vector<std::uint8_t> png = VelquorPng::encodePng(width, height, pixels.data(), stridePixels * 4);
  Decoded d = decode(png);
  ASSERT_TRUE(d.ok) << width << "x" << height;
  ASSERT_EQ(d.width, width);
  ASSERT_EQ(d.height, height);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint32_t p = pixels[y * stridePixels + x];
      const std::uint8_t* got = &d.rgba[(std::size_t(y) * width + x) * 4];
      std::uint32_t back = (std::uint32_t(got[3]) << 24) | (got[0] << 16) | (got[1] << 8) | got[2];
      ASSERT_EQ(back, p) << "pixel " << x << "," << y << " of " << width << "x" << height;
    }
  }
}

}  // namespace

TEST(PngDecode, PicturesOfEveryKindComeBackExactly) {
  std::mt19937 rng(7);
  struct Case {
    std::uint32_t width, height;
    std::size_t stride;
    int kind;  // 0 noise, 1 flat, 2 checkerboard, 3 noise rows repeated far apart
  };
  const Case cases[] = {{1, 1, 1, 0},     {1, 1, 1, 1},     {5, 3, 9, 0},     {64, 64, 64, 2},
                        {3000, 2, 3000, 1}, {257, 33, 300, 2}, {200, 150, 200, 0}, {9000, 12, 9000, 3}};
  for (const Case& c : cases) {
    std::vector<std::uint32_t> pixels(c.stride * c.height, 0xDEADBEEFu);
    for (std::uint32_t y = 0; y < c.height; ++y) {
      for (std::uint32_t x = 0; x < c.width; ++x) {
        std::uint32_t& p = pixels[y * c.stride + x];
        switch (c.kind) {
          case 0: p = rng(); break;
          case 1: p = 0xFF336699u; break;
          case 2: p = ((x / 8 + y / 8) & 1) ? 0xFFC0C0C0u : 0x00000000u; break;
          case 3: p = (x * 2654435761u) ^ (y & 1 ? 0 : 0xFF00FF00u); break;
        }
      }
    }
    SCOPED_TRACE(testing::Message() << "kind " << c.kind);
    expectRoundTrip(c.width, c.height, pixels, c.stride);
  }
}

TEST(PngDecode, LargeSmoothPictureCompressesAndDecodes) {
  const std::uint32_t width = 1024, height = 768;
  std::vector<std::uint32_t> pixels(width * height);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) pixels[y * width + x] = 0xFF000000u | ((x / 4) << 16) | ((y / 3) << 8);
  std::vector<std::uint8_t> png = VelquorPng::encodePng(width, height, pixels.data());
  EXPECT_LT(png.size(), pixels.size() * 4 / 4) << "runs of equal pixels should shrink";
  expectRoundTrip(width, height, pixels, width);
}
