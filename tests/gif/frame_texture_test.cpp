// Frame textures on a real Direct3D 9 device, read back with LockRect, and on devices that fail.
#include <gtest/gtest.h>

#include <cstdlib>

#include "d3d9_test_device.h"
#include "failing_d3d9_device.h"
#include "gif/frame_list.h"
#include "gif/frame_tiles.h"
#include "gif/memory_limits.h"
#include "gif/staging_texture.h"
#include "gif_test_files.h"
#include "testing_clock.h"

namespace {

// Index 0 black, 1 red, 2 green (the background), 3 blue.
GifBytes rgbPalette() { return {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}; }

std::unique_ptr<FrameList> loadBytes(const GifBytes& bytes) {
  TempGifFile file(bytes);
  return FrameList::load(file.path());
}

// 37 x 5 (rows need padding on most devices): first frame all four colours, second frame with a
// local table whose entry 0 is the global background green.
std::unique_ptr<FrameList> twoFrames() {
  GifWriter writer({37, 5, rgbPalette(), 2});
  writer.graphicControl({10}).image(patternImage(37, 5, 4));
  GifImage local = patternImage(37, 5, 4);
  local.localTable = {0, 255, 0, 255, 0, 0, 9, 9, 9, 0, 0, 255};
  writer.image(local).trailer();
  return loadBytes(writer.bytes());
}

// 1100 x 300: wider than the staging texture and not a whole number of bands, so tiles of every
// shape. No index repeats along a row or column at a tile's width or height: a tile copied to the
// wrong place shows. Index 2 is the background (transparent).
std::unique_ptr<FrameList> largeFrames() {
  const int width = 1100, height = 300;
  GifWriter writer({width, height, testPalette(256), 2});
  for (int frame = 0; frame < 2; ++frame) {
    GifImage image = filledImage(width, height, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        image.indices[static_cast<std::size_t>(y) * width + x] =
            static_cast<std::uint8_t>(x * 7 + y * 13 + x / 100 * 31 + y / 50 * 17 + frame);
    writer.graphicControl({10}).image(image);
  }
  writer.trailer();
  return loadBytes(writer.bytes());
}

std::vector<std::uint32_t> expectedPixels(const AnimationFrame& frame, bool keepBackground) {
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) pixels.push_back(frame.pixel(x, y, keepBackground));
  return pixels;
}

// One device for the whole suite: making one takes seconds under the emulator.
class RealDevice : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::getenv("DISPLAY")) shared = new TestDevice;
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }
  void SetUp() override {
    if (!shared) GTEST_SKIP() << "no X display: run under xvfb-run";
    ASSERT_NE(shared->get(), nullptr) << shared->error();
  }

  static TestDevice* shared;
  TestDevice& device = *shared;
};
TestDevice* RealDevice::shared = nullptr;

}  // namespace

TEST_F(RealDevice, TexturesHoldOpaqueColoursAndTransparentBackground) {
  auto list = twoFrames();
  const std::uint64_t before = FrameList::texturesInUse();
  EXPECT_EQ(list->createTextures(device.get()), 0);
  EXPECT_EQ(FrameList::texturesInUse(), before + 2 * (37 * 5 * 4 + Limits::TextureOverheadBytes))
      << "what the budget counts";
  for (const auto& frame : list->frames) ASSERT_NE(frame->texture, nullptr);

  auto first = readTexture(list->frames[0]->texture);
  ASSERT_EQ(first.size(), 37u * 5);
  EXPECT_EQ(first, expectedPixels(*list->frames[0], false));
  EXPECT_EQ(first[0], 0xFF000000u);  // (0,0): index 0, black
  EXPECT_EQ(first[1], 0xFFFF0000u);  // red
  EXPECT_EQ(first[2], 0x00000000u);  // green is the background: transparent black
  EXPECT_EQ(first[3], 0xFF0000FFu);
  for (std::uint32_t pixel : first) EXPECT_TRUE(pixel == 0 || pixel >> 24 == 0xFF) << std::hex << pixel;

  // Local palette: index 0 is the background green there, index 2 is not.
  auto second = readTexture(list->frames[1]->texture);
  EXPECT_EQ(second, expectedPixels(*list->frames[1], false));
  EXPECT_EQ(second[0], 0u);
  EXPECT_EQ(second[2], 0xFF090909u);
}

TEST_F(RealDevice, KeepBackgroundMakesEveryPixelOpaque) {
  auto list = twoFrames();
  list->setKeepBackground(true);
  list->createTextures(device.get());
  auto pixels = readTexture(list->frames[0]->texture);
  EXPECT_EQ(pixels, expectedPixels(*list->frames[0], true));
  for (std::uint32_t pixel : pixels) ASSERT_EQ(pixel >> 24, 0xFFu) << std::hex << pixel;
}

TEST_F(RealDevice, ReleaseAndRecreateAroundADeviceReset) {
  auto list = twoFrames();
  list->createTextures(device.get());
  IDirect3DTexture9* made = list->frames[0]->texture;
  list->createTextures(device.get());
  EXPECT_EQ(list->frames[0]->texture, made) << "an existing texture is kept";

  EXPECT_TRUE(FAILED(device.reset())) << "a default-pool texture blocks Reset";
  made->AddRef();
  list->releaseTextures();
  for (const auto& frame : list->frames) EXPECT_EQ(frame->texture, nullptr);
  EXPECT_EQ(made->Release(), 0u) << "the list held exactly one reference";
  EXPECT_FALSE(list->frames[0]->releaseTexture());
  ASSERT_EQ(device.reset(), D3D_OK);

  list->createTextures(device.get());
  ASSERT_NE(list->frames[1]->texture, nullptr);
  EXPECT_EQ(readTexture(list->frames[1]->texture), expectedPixels(*list->frames[1], false));

  // Destroying the list gives its references back too.
  IDirect3DTexture9* kept = list->frames[1]->texture;
  kept->AddRef();
  const std::uint64_t before = FrameList::texturesInUse();
  list.reset();
  EXPECT_EQ(kept->Release(), 0u);
  EXPECT_EQ(FrameList::texturesInUse(), before - 2 * (37 * 5 * 4 + Limits::TextureOverheadBytes));
}

TEST_F(RealDevice, FrameFilledTileByTileIsHiddenUntilItsLastTileThenHoldsEveryPixel) {
  ManualClock clock;
  auto list = largeFrames();
  AnimationFrame& first = *list->frames[0];
  const unsigned tiles = FrameTiles(first.width, first.height).count();
  StagingTexture staging;
  ASSERT_TRUE(staging.prepare(device.get()));
  ASSERT_TRUE(staging.ready(device.get()));
  const std::uint64_t before = FrameList::texturesInUse();
  for (unsigned tile = 1; tile < tiles; ++tile) {
    std::uint64_t pixels = 1;  // one tile per call
    ASSERT_EQ(first.fillTexture(device.get(), staging, false, pixels), 0);
    EXPECT_EQ(pixels, 0u);
    ASSERT_EQ(first.texture, nullptr) << "shown with " << tile << " of " << tiles << " tiles";
    EXPECT_TRUE(first.filling());
    EXPECT_EQ(list->currentTexture(), nullptr);
  }
  EXPECT_EQ(list->framesWithoutTexture(), 1u) << "the one being filled has its texture";
  EXPECT_EQ(FrameList::texturesInUse(), before + Limits::textureBytes(first.width, first.height, 1))
      << "counted from the first tile: the memory is taken";
  std::uint64_t pixels = 1;
  ASSERT_EQ(first.fillTexture(device.get(), staging, false, pixels), 0);
  ASSERT_NE(first.texture, nullptr) << "complete after " << tiles << " tiles";
  EXPECT_FALSE(first.filling());
  EXPECT_EQ(list->currentTexture(), first.texture);
  EXPECT_EQ(readTexture(first.texture), expectedPixels(first, false));

  // A budget larger than the frame: filled in one call, and only its pixels are taken.
  AnimationFrame& second = *list->frames[1];
  std::uint64_t plenty = 10'000'000;
  ASSERT_EQ(second.fillTexture(device.get(), staging, true, plenty), 0);
  ASSERT_NE(second.texture, nullptr);
  EXPECT_EQ(plenty, 10'000'000u - 1100u * 300);
  EXPECT_EQ(readTexture(second.texture), expectedPixels(second, true));
  EXPECT_EQ(FrameList::texturesInUse(), before + Limits::textureBytes(1100, 300, 2));
}

TEST_F(RealDevice, DeviceResetWhileAFrameIsHalfFilled) {
  auto list = largeFrames();
  AnimationFrame& frame = *list->frames[0];
  const unsigned tiles = FrameTiles(frame.width, frame.height).count();
  StagingTexture staging;
  ASSERT_TRUE(staging.prepare(device.get()));
  const std::uint64_t before = FrameList::texturesInUse();
  for (unsigned tile = 0; tile < tiles / 2; ++tile) {
    std::uint64_t pixels = 1;
    ASSERT_EQ(frame.fillTexture(device.get(), staging, false, pixels), 0);
  }
  ASSERT_TRUE(frame.filling());

  EXPECT_TRUE(FAILED(device.reset())) << "the half-filled texture and the staging texture block Reset";
  list->releaseTextures();
  EXPECT_FALSE(frame.filling());
  EXPECT_EQ(FrameList::texturesInUse(), before);
  EXPECT_FALSE(frame.releaseTexture()) << "released once";
  EXPECT_TRUE(FAILED(device.reset())) << "the staging texture still blocks Reset";
  staging.release();
  EXPECT_FALSE(staging.ready(device.get()));
  ASSERT_EQ(device.reset(), D3D_OK);

  // After the reset the frame is filled again from its first tile.
  ASSERT_TRUE(staging.prepare(device.get()));
  for (unsigned tile = 0; tile < tiles && !frame.texture; ++tile) {
    std::uint64_t pixels = 1;
    ASSERT_EQ(frame.fillTexture(device.get(), staging, false, pixels), 0);
  }
  ASSERT_NE(frame.texture, nullptr) << "complete after " << tiles << " tiles";
  EXPECT_EQ(readTexture(frame.texture), expectedPixels(frame, false));
  EXPECT_EQ(FrameList::texturesInUse(), before + Limits::textureBytes(frame.width, frame.height, 1));
}

TEST_F(RealDevice, CurrentTextureFollowsPlayback) {
  ManualClock clock;
  auto list = twoFrames();
  list->createTextures(device.get());
  EXPECT_EQ(list->currentTexture(), list->frames[0]->texture);
  clock.advanceMs(100);
  EXPECT_EQ(list->currentTexture(), list->frames[1]->texture);
}

TEST(FailingDevice, FrameStaysWithoutTextureWhenCreateTextureFails) {
  FailingDeviceCalls calls;
  IDirect3DDevice9* device = deviceFailingCreateTexture(&calls);
  auto list = twoFrames();
  const std::uint64_t before = FrameList::texturesInUse();
  EXPECT_EQ(list->createTextures(device), D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(calls.createTexture, 2);
  for (const auto& frame : list->frames) EXPECT_EQ(frame->texture, nullptr);
  EXPECT_EQ(list->framesWithoutTexture(), 2u);
  EXPECT_EQ(FrameList::texturesInUse(), before);
  EXPECT_EQ(list->currentTexture(), nullptr);
  list->createTextures(nullptr);  // no device: nothing to do
  EXPECT_EQ(calls.createTexture, 2);
}

TEST(FailingDevice, AStagingTextureThatCannotBeMadeLeavesFramesToBeMadeWhole) {
  // Otherwise every frame would wait for tiles for good, and nothing would say why.
  FailingDeviceCalls calls;
  IDirect3DDevice9* device = deviceFailingCreateTextureThatCopies(&calls);
  StagingTexture staging;
  EXPECT_TRUE(staging.usable(device));
  EXPECT_FALSE(staging.prepare(device));
  EXPECT_FALSE(staging.ready(device));
  EXPECT_FALSE(staging.usable(device));
  EXPECT_FALSE(staging.prepare(device));
  EXPECT_EQ(calls.createTexture, 1) << "not asked again";
}

TEST(FailingDevice, FrameStaysWithoutTextureWhenLockRectFails) {
  FailingDeviceCalls calls;
  IDirect3DDevice9* device = deviceFailingLockRect(&calls);
  auto list = twoFrames();
  EXPECT_EQ(list->createTextures(device), D3DERR_INVALIDCALL);
  EXPECT_EQ(calls.createTexture, 2);
  EXPECT_EQ(calls.lockRect, 2);
  EXPECT_EQ(calls.unlockRect, 0) << "nothing was locked";
  EXPECT_EQ(calls.textureReleases, 2) << "the unusable textures are given back";
  for (const auto& frame : list->frames) EXPECT_EQ(frame->texture, nullptr);
  list.reset();
  EXPECT_EQ(calls.textureReleases, 2);
}
