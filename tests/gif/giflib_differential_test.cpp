// Our decoder against giflib on generated files: every image's indices must equal giflib's, and
// both must equal what the writer encoded.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <random>

#include "gif/gif_decoder.h"
#include "gif_test_files.h"

namespace {

struct Family {
  std::vector<std::pair<int, int>> screens;
  std::vector<int> codeSizes;
  int filesPerScreen = 1;
  int maxImages = 3;
  double interlaceChance = 0, localTableChance = 0, transparencyChance = 0, deferredClearChance = 0;
};

enum class Content { Noise, Gradient, Blocks };

GifBytes picture(std::mt19937& random, int width, int height, int colours) {
  GifBytes out(static_cast<std::size_t>(width) * height);
  auto content = static_cast<Content>(random() % 3);
  std::uniform_int_distribution<int> pick(0, colours - 1);
  const int blockW = 1 + random() % 16, blockH = 1 + random() % 16;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int value;
      switch (content) {
        case Content::Noise: value = pick(random); break;
        case Content::Gradient: value = (x + 2 * y + static_cast<int>(random() % 3)) / 5; break;
        default: value = (x / blockW * 7 + y / blockH * 13) % 5 == 0 ? pick(random) : (x / blockW + y / blockH); break;
      }
      out[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(value % colours);
    }
  return out;
}

struct Generated {
  GifBytes file;
  std::vector<GifImage> images;
};

Generated generate(std::mt19937& random, const Family& family, int width, int height, int codeSize) {
  const int colours = 1 << codeSize;
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
  GifWriter writer({static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                    testPalette(colours), static_cast<std::uint8_t>(random() % colours)});
  if (chance(0.5)) writer.loop(static_cast<std::uint16_t>(random() % 4));
  Generated out;
  const int images = 1 + random() % family.maxImages;
  for (int i = 0; i < images; ++i) {
    GifImage image;
    image.width = static_cast<std::uint16_t>(1 + random() % width);
    image.height = static_cast<std::uint16_t>(1 + random() % height);
    if (i == 0 || chance(0.3)) {
      image.width = static_cast<std::uint16_t>(width);
      image.height = static_cast<std::uint16_t>(height);
    }
    image.left = static_cast<std::uint16_t>(random() % (width - image.width + 1));
    image.top = static_cast<std::uint16_t>(random() % (height - image.height + 1));
    image.indices = picture(random, image.width, image.height, colours);
    image.interlaced = chance(family.interlaceChance);
    if (chance(family.localTableChance)) image.localTable = testPalette(colours);
    image.lzw.minCodeSize = codeSize;
    image.lzw.subBlockSize = chance(0.2) ? 1 + random() % 255 : 255;
    if (chance(family.deferredClearChance)) {
      image.lzw.clearWhenFull = false;
      image.lzw.clearAfterFullCodes = chance(0.5) ? -1 : static_cast<int>(random() % 2000);
    }
    if (chance(family.transparencyChance)) {
      GifGraphicControl control{static_cast<std::uint16_t>(random() % 50), true,
                                static_cast<std::uint8_t>(random() % colours)};
      control.disposal = static_cast<std::uint8_t>(control.delay % 4);  // no draw: same files as before
      writer.graphicControl(control);
    }
    writer.image(image);
    out.images.push_back(image);
  }
  out.file = writer.trailer().bytes();
  return out;
}

void compareWithGiflib(const Generated& generated, const std::string& what) {
  TempGifFile file(generated.file);
  int error = 0;
  GifFileType* reference = DGifOpenFileName(file.path(), &error);
  ASSERT_NE(reference, nullptr) << what << ": giflib error " << error;
  ASSERT_EQ(DGifSlurp(reference), GIF_OK) << what << ": giflib error " << reference->Error;
  ASSERT_EQ(reference->ImageCount, static_cast<int>(generated.images.size())) << what;

  GifHandle gif(gifOpen(file.path()));
  ASSERT_NE(gif, nullptr) << what;
  for (int i = 0; i < reference->ImageCount; ++i) {
    const SavedImage& theirs = reference->SavedImages[i];
    ASSERT_EQ(gifNextFrame(gif.get()), 1) << what << " image " << i;
    ASSERT_EQ(gif->frameLeft, theirs.ImageDesc.Left);
    ASSERT_EQ(gif->frameTop, theirs.ImageDesc.Top);
    ASSERT_EQ(gif->frameWidth, theirs.ImageDesc.Width);
    ASSERT_EQ(gif->frameHeight, theirs.ImageDesc.Height);
    EXPECT_EQ(gif->palette == &gif->localTable, theirs.ImageDesc.ColorMap != nullptr);
    GraphicsControlBlock control;  // giflib's defaults for an image without one
    DGifSavedExtensionToGCB(reference, i, &control);
    EXPECT_EQ(gif->disposal, control.DisposalMode) << what << " image " << i;
    const GifBytes ours = screenRect(gif.get(), gif->frameLeft, gif->frameTop, gif->frameWidth, gif->frameHeight);
    const GifBytes giflib(theirs.RasterBits, theirs.RasterBits + ours.size());
    ASSERT_EQ(ours, giflib) << what << " image " << i << " (" << gif->frameWidth << "x"
                            << gif->frameHeight << ", interlaced " << generated.images[i].interlaced << ")";
    ASSERT_EQ(ours, generated.images[i].indices) << what << " image " << i << ": both differ from the source";
  }
  EXPECT_EQ(gifNextFrame(gif.get()), 0) << what;
  EXPECT_EQ(gif->loopCount, reference->ImageCount ? gif->loopCount : 0);
  DGifCloseFile(reference, &error);
}

void runFamily(const Family& family, unsigned seed) {
  std::mt19937 random(seed);
  int files = 0;
  for (auto [width, height] : family.screens)
    for (int codeSize : family.codeSizes)
      for (int n = 0; n < family.filesPerScreen; ++n, ++files) {
        std::string what = std::to_string(width) + "x" + std::to_string(height) + " code size " +
                           std::to_string(codeSize) + " file " + std::to_string(n);
        compareWithGiflib(generate(random, family, width, height, codeSize), what);
        if (::testing::Test::HasFatalFailure()) return;
      }
  EXPECT_GT(files, 0);
}

}  // namespace

TEST(GiflibDifferential, SmallScreensEveryCodeSize) {
  Family family;
  family.screens = {{1, 1}, {2, 1}, {1, 7}, {3, 3}, {17, 5}, {64, 64}, {255, 2}};
  family.codeSizes = {2, 3, 4, 5, 6, 7, 8};
  family.filesPerScreen = 3;
  runFamily(family, 1);
}

TEST(GiflibDifferential, InterlacedLocalTablesTransparencySeveralImages) {
  Family family;
  family.screens = {{1, 1}, {5, 2}, {9, 9}, {31, 17}, {100, 75}, {320, 200}};
  family.codeSizes = {2, 4, 8};
  family.filesPerScreen = 4;
  family.maxImages = 5;
  family.interlaceChance = 0.5;
  family.localTableChance = 0.4;
  family.transparencyChance = 0.5;
  runFamily(family, 2);
}

TEST(GiflibDifferential, FullCodeTableWithAndWithoutFollowingClear) {
  Family family;
  family.screens = {{160, 120}, {300, 200}, {640, 90}};
  family.codeSizes = {2, 3, 5, 8};
  family.filesPerScreen = 4;
  family.deferredClearChance = 0.9;
  family.interlaceChance = 0.3;
  runFamily(family, 3);
}

TEST(GiflibDifferential, LargeScreens) {
  Family family;
  family.screens = {{1024, 768}, {2000, 1500}, {4000, 30}};
  family.codeSizes = {4, 8};
  family.maxImages = 2;
  family.deferredClearChance = 0.3;
  family.interlaceChance = 0.3;
  runFamily(family, 4);
}
