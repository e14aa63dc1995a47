#pragma once
// GIF files on disk for the decoder and frame list tests, removed afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "gifwriter/gif_writer.h"

class TempGifFile {
 public:
  explicit TempGifFile(const GifBytes& bytes, const std::string& tag = "") {
    static int counter = 0;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::string("gif_") + (test ? test->name() : "none") + "_" + tag + "_" +
            std::to_string(counter++) + ".gif";
    for (char& c : path_)
      if (c == '/') c = '_';
    EXPECT_TRUE(writeFile(path_, bytes)) << path_;
  }
  ~TempGifFile() { std::remove(path_.c_str()); }
  TempGifFile(const TempGifFile&) = delete;
  TempGifFile& operator=(const TempGifFile&) = delete;
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

// n RGB triples: entry i is (i, 255 - i, i * 7).
inline GifBytes testPalette(int entries) {
  GifBytes rgb;
  for (int i = 0; i < entries; ++i) {
    rgb.push_back(static_cast<std::uint8_t>(i));
    rgb.push_back(static_cast<std::uint8_t>(255 - i));
    rgb.push_back(static_cast<std::uint8_t>(i * 7));
  }
  return rgb;
}

inline GifImage filledImage(int width, int height, std::uint8_t index, int left = 0, int top = 0) {
  GifImage image;
  image.width = static_cast<std::uint16_t>(width);
  image.height = static_cast<std::uint16_t>(height);
  image.left = static_cast<std::uint16_t>(left);
  image.top = static_cast<std::uint16_t>(top);
  image.indices.assign(static_cast<std::size_t>(width) * height, index);
  return image;
}

// Pixel (x, y) = (x + 3 y) mod colours: every index differs from its neighbours.
inline GifImage patternImage(int width, int height, int colours, int left = 0, int top = 0) {
  GifImage image = filledImage(width, height, 0, left, top);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.indices[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>((x + 3 * y) % colours);
  return image;
}

// The decoder's indices inside a rectangle of its screen, row by row.
inline GifBytes screenRect(const GifDecoder* gif, int left, int top, int width, int height) {
  GifBytes out;
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) out.push_back(gif->indices[static_cast<std::size_t>(y) * gif->width + x]);
  return out;
}

struct GifCloser {
  void operator()(GifDecoder* gif) const { gifClose(gif); }
};
using GifHandle = std::unique_ptr<GifDecoder, GifCloser>;
