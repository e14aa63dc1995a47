// Loading and composing frames, the pixels a texture gets, and playback timing on a hand-driven
// clock.
#include <gtest/gtest.h>

#include "gif/frame_list.h"
#include "gif_test_files.h"
#include "testing_clock.h"

namespace {

// Index 0 black, 1 red, 2 green, 3 blue; background index as given.
GifScreen rgbScreen(int width, int height, std::uint8_t background = 0) {
  return {static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
          {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}, background};
}

std::unique_ptr<FrameList> loadBytes(const GifBytes& bytes) {
  TempGifFile file(bytes);
  return FrameList::load(file.path());
}

std::string loadError(const GifBytes& bytes) {
  try {
    loadBytes(bytes);
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no error)";
}

GifImage rowImage(int width, int height, GifBytes indices) {
  GifImage image = filledImage(width, height, 0);
  image.indices = std::move(indices);
  return image;
}

GifBytes frameIndices(const AnimationFrame& frame) {
  return GifBytes(frame.indices.get(), frame.indices.get() + std::size_t{frame.width} * frame.height);
}

// Two 100 ms frames; loop < 0 writes no NETSCAPE extension.
GifBytes twoFrames(int loop) {
  GifWriter writer(rgbScreen(2, 2));
  if (loop >= 0) writer.loop(static_cast<std::uint16_t>(loop));
  for (std::uint8_t index : {1, 2}) writer.graphicControl({10}).image(filledImage(2, 2, index));
  return writer.trailer().bytes();
}

}  // namespace

TEST(FrameListLoad, FramesGetScreenSizeDelaysAndTotalDuration) {
  GifWriter writer(rgbScreen(100, 50));
  writer.loop(4);
  for (std::uint16_t delay : {10, 20, 30}) writer.graphicControl({delay}).image(filledImage(100, 50, 1));
  auto list = loadBytes(writer.trailer().bytes());
  ASSERT_EQ(list->frames.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list->frames[i]->width, 100);
    EXPECT_EQ(list->frames[i]->height, 50);
    EXPECT_EQ(list->frames[i]->delay, 100 * (i + 1));
    EXPECT_EQ(list->frames[i]->texture, nullptr);
  }
  EXPECT_EQ(list->totalDuration, 600);
  EXPECT_EQ(list->loopCount, 4);
  EXPECT_EQ(list->width, 100);
  EXPECT_EQ(list->current, 0);
  EXPECT_EQ(list->frameStart, 0);
}

TEST(FrameListLoad, ComposesEachImageOverThePreviousFrame) {
  GifWriter writer(rgbScreen(4, 3, 2));
  writer.image(filledImage(2, 2, 1, 1, 0));  // first frame: background around it
  writer.image(filledImage(1, 1, 3, 0, 2));  // second: only one pixel changes
  writer.graphicControl({0, true, 0}).image(rowImage(4, 1, {0, 3, 0, 1}));  // 0 is transparent
  auto list = loadBytes(writer.trailer().bytes());
  ASSERT_EQ(list->frames.size(), 3u);
  EXPECT_EQ(frameIndices(*list->frames[0]), (GifBytes{2, 1, 1, 2, 2, 1, 1, 2, 2, 2, 2, 2}));
  EXPECT_EQ(frameIndices(*list->frames[1]), (GifBytes{2, 1, 1, 2, 2, 1, 1, 2, 3, 2, 2, 2}));
  EXPECT_EQ(frameIndices(*list->frames[2]), (GifBytes{2, 3, 1, 1, 2, 1, 1, 2, 3, 2, 2, 2}));
}

TEST(FrameListLoad, TransparentPixelsOfTheFirstImageKeepTheBackground) {
  GifWriter writer(rgbScreen(3, 1, 2));
  writer.graphicControl({0, true, 1}).image(rowImage(3, 1, {1, 3, 1})).trailer();
  auto list = loadBytes(writer.bytes());
  EXPECT_EQ(frameIndices(*list->frames[0]), (GifBytes{2, 3, 2}));
}

TEST(FrameListLoad, FramePaletteIsTheTableInForceAndBackgroundComesFromGlobal) {
  GifImage local = filledImage(2, 1, 1);
  local.localTable = {10, 20, 30, 40, 50, 60};
  GifWriter writer(rgbScreen(2, 1, 2));
  writer.image(local).image(filledImage(1, 1, 3)).trailer();
  auto list = loadBytes(writer.bytes());
  EXPECT_EQ(list->frames[0]->palette[3], 40);
  EXPECT_EQ(list->frames[0]->palette[6], 0) << "the rest of the table is copied too";
  EXPECT_EQ(list->frames[1]->palette[3], 255);
  for (const auto& frame : list->frames) EXPECT_EQ(frame->backgroundColor, 0xFF00FF00u);
}

TEST(FrameListLoad, EmptyAnimationAndBrokenFiles) {
  auto empty = loadBytes(GifWriter(rgbScreen(8, 8)).trailer().bytes());
  EXPECT_TRUE(empty->frames.empty());
  EXPECT_EQ(empty->totalDuration, 0);
  EXPECT_EQ(empty->currentTexture(), nullptr);
  EXPECT_EQ(empty->currentTexture(), nullptr);

  GifWriter secondBroken(rgbScreen(2, 2));
  secondBroken.image(filledImage(2, 2, 1)).raw({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 12, 1, 0, 0});
  EXPECT_EQ(loadError(secondBroken.bytes()), "GIF file is corrupt!");
  EXPECT_EQ(loadError(GifWriter(rgbScreen(2, 2)).raw({0x99}).bytes()), "GIF file is corrupt!");

  EXPECT_THROW(FrameList::load("no/such/animation.gif"), std::runtime_error);
  GifScreen old = rgbScreen(2, 2);
  old.version = "87a";
  ::testing::internal::CaptureStderr();
  EXPECT_NE(loadError(GifWriter(old).trailer().bytes()), "(no error)");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "invalid version\n");
}

TEST(FrameListLoad, RectanglePastTheScreenIsClippedWhenComposing) {
  GifWriter writer(rgbScreen(3, 2));
  writer.image(filledImage(5, 5, 1, 1, 1)).image(filledImage(2, 2, 2, 3, 0)).image(filledImage(2, 2, 3, 60000, 1));
  auto list = loadBytes(writer.trailer().bytes());
  ASSERT_EQ(list->frames.size(), 3u);
  for (const auto& frame : list->frames) EXPECT_EQ(frameIndices(*frame), (GifBytes{0, 0, 0, 0, 1, 1}));
}

// Frame after frame, what each image leaves of itself with disposal=1, and that without it every
// method leaves the whole picture.
TEST(FrameListLoad, DisposalMethodsShapeWhatTheNextImageIsDrawnOver) {
  struct Image {
    GifBytes indices;  // one row
    int left;
    std::uint8_t disposal;
  };
  struct Case {
    const char* what;
    bool honour;
    std::vector<Image> images;
    std::vector<GifBytes> frames;
  };
  // A 4 x 1 screen whose background index is 2.
  const Image full{{1, 1, 1, 1}, 0, 0};
  const Case cases[] = {
      {"2: back to the background", true, {full, {{3, 3}, 1, 2}, {{0}, 3, 0}}, {{1, 1, 1, 1}, {1, 3, 3, 1}, {1, 2, 2, 0}}},
      {"3: back to what it held", true, {full, {{3, 3}, 1, 3}, {{0}, 3, 0}}, {{1, 1, 1, 1}, {1, 3, 3, 1}, {1, 1, 1, 0}}},
      {"1: left as drawn", true, {full, {{3, 3}, 1, 1}, {{0}, 3, 0}}, {{1, 1, 1, 1}, {1, 3, 3, 1}, {1, 3, 3, 0}}},
      {"4: means nothing", true, {full, {{3, 3}, 1, 4}, {{0}, 3, 0}}, {{1, 1, 1, 1}, {1, 3, 3, 1}, {1, 3, 3, 0}}},
      {"3 on the first image: back to the background", true, {{{3, 3}, 1, 3}, {{0}, 3, 0}}, {{2, 3, 3, 2}, {2, 2, 2, 0}}},
      {"3 after 3: back to the older picture", true, {full, {{3}, 0, 3}, {{0}, 1, 3}, {{3}, 3, 0}},
       {{1, 1, 1, 1}, {3, 1, 1, 1}, {1, 0, 1, 1}, {1, 1, 1, 3}}},
      {"2 past the screen's edge: clipped", true, {full, {{3, 3, 3}, 2, 2}, {{0}, 0, 0}}, {{1, 1, 1, 1}, {1, 1, 3, 3}, {0, 1, 2, 2}}},
      {"2 without disposal=1", false, {full, {{3, 3}, 1, 2}, {{0}, 3, 0}}, {{1, 1, 1, 1}, {1, 3, 3, 1}, {1, 3, 3, 0}}},
      {"3 without disposal=1", false, {full, {{3, 3}, 1, 3}, {{0}, 3, 0}}, {{1, 1, 1, 1}, {1, 3, 3, 1}, {1, 3, 3, 0}}},
  };
  for (const Case& c : cases) {
    GifWriter writer(rgbScreen(4, 1, 2));
    for (const Image& image : c.images) {
      GifGraphicControl control;
      control.disposal = image.disposal;
      GifImage drawn = rowImage(static_cast<int>(image.indices.size()), 1, image.indices);
      drawn.left = static_cast<std::uint16_t>(image.left);
      writer.graphicControl(control).image(drawn);
    }
    TempGifFile file(writer.trailer().bytes());
    FrameOptions options;
    options.honourDisposal = c.honour;
    auto list = FrameList::load(file.path(), "", UINT64_MAX, options);
    std::vector<GifBytes> frames;
    for (const auto& frame : list->frames) frames.push_back(frameIndices(*frame));
    EXPECT_EQ(frames, c.frames) << c.what;
  }
}

// Method 3 below the top row and right of the left column: the rectangle's own rows and columns
// come back, not those at the screen's corner.
TEST(FrameListLoad, DisposalRestoresTheRectangleWhereverItLies) {
  GifWriter writer(rgbScreen(3, 3, 2));
  GifGraphicControl restore;
  restore.disposal = 3;
  writer.image(patternImage(3, 3, 4)).graphicControl(restore).image(filledImage(2, 2, 3, 1, 1));
  writer.graphicControl({}).image(filledImage(1, 1, 1)).trailer();
  FrameOptions options;
  options.honourDisposal = true;
  TempGifFile file(writer.bytes());
  auto list = FrameList::load(file.path(), "", UINT64_MAX, options);
  std::vector<GifBytes> frames;
  for (const auto& frame : list->frames) frames.push_back(frameIndices(*frame));
  EXPECT_EQ(frames, (std::vector<GifBytes>{{0, 1, 2, 3, 0, 1, 2, 3, 0},
                                           {0, 1, 2, 3, 3, 3, 2, 3, 3},
                                           {1, 1, 2, 3, 0, 1, 2, 3, 0}}));
}

// What loading `images` images of `width` x `height` (one pixel of each drawn) says: the
// gif_too_large message, or "(no error)".
std::string tooLargeOutcome(unsigned width, unsigned height, int images) {
  GifWriter writer(rgbScreen(width, height));
  for (int i = 0; i < images; ++i) writer.image(filledImage(1, 1, i % 3));
  TempGifFile file(writer.trailer().bytes());
  try {
    FrameList::load(file.path(), "Velquor/big.gif");
  } catch (const gif_too_large& error) {
    return error.what();
  }
  return "(no error)";
}

#ifndef _WIN32  // hundreds of megabytes: too slow under the emulator
TEST(FrameListLoad, TexturesPastTheirBudgetAreRefusedNamingFileNeedAndLimit) {
  // One 8192 x 8192 frame's pixels take the whole texture budget, and the texture a little more;
  // only images the file has count.
  const std::pair<int, std::string> cases[] = {
      {1, "Velquor/big.gif is too large: its 1 frame of 8192 x 8192 needs 257 MiB of textures; "
          "Velquor keeps all its textures within 256 MiB."},
      {2, "Velquor/big.gif is too large: its 2 frames of 8192 x 8192 need 513 MiB of textures; "
          "Velquor keeps all its textures within 256 MiB."},
      {10, "Velquor/big.gif is too large: its 10 frames of 8192 x 8192 need 2561 MiB of textures; "
           "Velquor keeps all its textures within 256 MiB."}};
  for (const auto& [images, expected] : cases) EXPECT_EQ(tooLargeOutcome(8192, 8192, images), expected) << images;
}
#endif

TEST(FrameListLoad, ThousandsOfTinyFramesCountWhatTheirTexturesTakeBesideTheirPixels) {
  // 2 x 2 frames: 16 bytes of pixels each, but several KB for the driver; 40,000 of them cannot
  // all have textures within the budget.
  EXPECT_EQ(tooLargeOutcome(2, 2, 30'000), "(no error)");
  EXPECT_EQ(tooLargeOutcome(2, 2, 40'000),
            "Velquor/big.gif is too large: its 40000 frames of 2 x 2 need 314 MiB of textures; "
            "Velquor keeps all its textures within 256 MiB.");
}

TEST(FrameListLoad, NoRoomLeftInTheDecodedBudgetIsNotTheFilesFault) {
  GifWriter writer(rgbScreen(8, 8));
  writer.image(filledImage(8, 8, 1)).image(filledImage(8, 8, 2)).trailer();
  TempGifFile file(writer.bytes());
  const std::uint64_t two = FrameList::decodedBytes(8, 8, 2);
  EXPECT_EQ(FrameList::load(file.path(), "x.gif", two)->frames.size(), 2u);
  EXPECT_THROW(FrameList::load(file.path(), "x.gif", two - 1), gif_no_room);
  // The frames count themselves while they live.
  const std::uint64_t before = FrameList::decodedInUse();
  auto list = FrameList::load(file.path());
  EXPECT_EQ(FrameList::decodedInUse(), before + two);
  list.reset();
  EXPECT_EQ(FrameList::decodedInUse(), before);
}

TEST(FramePixels, BackgroundColourBecomesTransparentUnlessKept) {
  // Global background is index 2 (green); the local table maps index 0 to that green too.
  GifImage local = rowImage(4, 1, {0, 1, 2, 3});
  local.localTable = {0, 255, 0, 255, 0, 0, 9, 9, 9, 0, 0, 255};
  GifWriter writer(rgbScreen(4, 1, 2));
  writer.image(rowImage(4, 1, {0, 1, 2, 3})).image(local).trailer();
  auto list = loadBytes(writer.bytes());

  std::uint32_t pixels[2][4];
  list->frames[0]->writePixels(pixels, 16, false);
  EXPECT_EQ(std::vector<std::uint32_t>(pixels[0], pixels[0] + 4),
            (std::vector<std::uint32_t>{0xFF000000, 0xFFFF0000, 0, 0xFF0000FF}));
  list->frames[0]->writePixels(pixels, 16, true);
  EXPECT_EQ(pixels[0][2], 0xFF00FF00u);
  // Local palette: exactly the pixels whose local colour is the global background go.
  list->frames[1]->writePixels(pixels, 16, false);
  EXPECT_EQ(std::vector<std::uint32_t>(pixels[0], pixels[0] + 4),
            (std::vector<std::uint32_t>{0, 0xFFFF0000, 0xFF090909, 0xFF0000FF}));
  EXPECT_EQ(list->frames[1]->pixel(0, 0, false), 0u);
  EXPECT_EQ(list->frames[1]->pixel(0, 0, true), 0xFF00FF00u);

  // Rows follow the pitch; the bytes between rows are left alone.
  GifWriter tall(rgbScreen(1, 2));
  tall.image(rowImage(1, 2, {1, 3})).trailer();
  auto column = loadBytes(tall.bytes());
  std::uint32_t pitched[4] = {7, 7, 7, 7};
  column->frames[0]->writePixels(pitched, 8, false);
  EXPECT_EQ(std::vector<std::uint32_t>(pitched, pitched + 4),
            (std::vector<std::uint32_t>{0xFFFF0000, 7, 0xFF0000FF, 7}));
}

namespace {
// Each frame's texture pointer is a marker standing for its frame number (never called).
class Playback : public ::testing::Test {
 protected:
  void loadFrames(std::vector<std::uint16_t> delaysCs, int loop = 0) {
    GifWriter writer(rgbScreen(2, 2));
    writer.loop(static_cast<std::uint16_t>(loop));
    for (auto delay : delaysCs) writer.graphicControl({delay}).image(filledImage(2, 2, 1));
    list = loadBytes(writer.trailer().bytes());
    for (std::size_t i = 0; i < list->frames.size(); ++i)
      list->frames[i]->texture = reinterpret_cast<IDirect3DTexture9*>(markers + i);
  }
  int shown() {
    IDirect3DTexture9* texture = list->currentTexture();
    return texture ? static_cast<int>(reinterpret_cast<char*>(texture) - markers) : -1;
  }
  void TearDown() override {
    if (list)
      for (auto& frame : list->frames) frame->texture = nullptr;
  }

  ManualClock clock{5'000'000};
  char markers[8] = {};
  std::unique_ptr<FrameList> list;
};
}  // namespace

TEST_F(Playback, EachFrameShowsForItsDelayCountedFromItsFirstCall) {
  loadFrames({10, 10, 10});
  EXPECT_EQ(shown(), 0);
  EXPECT_EQ(list->frameStart, clock.ms());
  clock.advanceMs(50);
  EXPECT_EQ(shown(), 0);
  clock.advanceMs(60);  // 110 ms: due, and frame 1's time starts now
  EXPECT_EQ(shown(), 1);
  clock.advanceMs(99);
  EXPECT_EQ(shown(), 1);
  clock.advanceMs(1);
  EXPECT_EQ(shown(), 2);
  clock.advanceMs(100);
  EXPECT_EQ(shown(), 0) << "wraps endlessly with loop count 0";
  EXPECT_FALSE(list->finished());
  EXPECT_EQ(list->loopsDone, 0);
}

TEST_F(Playback, AdvancesAtMostOneFramePerCallAndRestartsOnlyOutOfView) {
  loadFrames({10, 10, 10});
  EXPECT_EQ(shown(), 0);
  clock.advanceMs(250);
  EXPECT_EQ(shown(), 1) << "late by two frames, still only one step";
  clock.advanceMs(FrameList::OutOfViewMs);
  EXPECT_EQ(shown(), 2) << "a slow game frame, longer than the whole animation: still in view";
  clock.advanceMs(FrameList::OutOfViewMs + 1);
  EXPECT_EQ(shown(), 0) << "out of view: back to the start";

  // With the game's frames counted, a texture drawn in the frame before stays in view however
  // long that frame took (a message box); one missing from a frame and long gone restarts.
  const std::int64_t longGap = 10 * FrameList::OutOfViewMs;
  struct Step {
    std::int64_t afterMs;
    std::uint32_t gameFrame;
    int shown;
  };
  const Step steps[] = {{0, 7, 0},        {longGap, 8, 1},  {longGap, 9, 2},
                        {longGap, 9, 0}, {longGap, 11, 0}, {20, 12, 0},
                        {longGap, 12, 1}, {5, 14, 1}};
  list->rewind();
  std::int64_t now = clock.ms();
  for (const Step& step : steps) {
    now += step.afterMs;
    EXPECT_EQ(list->advance(now, step.gameFrame), step.shown)
        << "game frame " << step.gameFrame << " after " << step.afterMs << " ms";
  }
}

TEST_F(Playback, AFrameNotReadyIsWaitedForNeverSkipped) {
  // Three frames of 100 ms; frames become ready as the steps say.
  loadFrames({10, 10, 10});
  struct Step {
    std::int64_t afterMs;
    int readyUpTo;  // frames 0..readyUpTo are ready
    int shown;
  };
  const Step steps[] = {
      {0, -1, -1},   // nothing to show: playback has not started
      {500, 0, 0},   // it starts now, whatever time went by
      {99, 0, 0},    {1, 0, 0},    // due, not ready: held
      {400, 0, 0},   // long overdue, still held
      {16, 2, 1},    // ready: shown, its time starting now
      {99, 2, 1},    {1, 2, 2},    // one frame per call, none skipped
      {100, 2, 0},   {100, 0, 0},  // wrapped; the next is not ready any more (a device reset)
      {16, 1, 1},
  };
  int readyUpTo = -1;
  auto ready = [&readyUpTo](int frame) { return frame <= readyUpTo; };
  std::int64_t now = clock.ms();
  for (const Step& step : steps) {
    now += step.afterMs;
    readyUpTo = step.readyUpTo;
    EXPECT_EQ(list->frameDue(now, FrameList::UnknownGameFrame, ready), step.shown) << "at " << now - clock.ms();
  }
}

TEST_F(Playback, DrawnEveryGameFrameItMovesWhateverItsDelays) {
  struct Case {
    std::vector<std::uint16_t> delaysCs;
    int drawEveryMs;
    std::vector<int> shown;
  };
  const Case cases[] = {
      {{0, 0, 0}, 16, {0, 1, 2, 0, 1, 2, 0}},              // all delays 0: one draw each
      {{0, 0, 0}, 0, {0, 1, 2, 0, 1, 2, 0}},               // several draws in one millisecond
      {{1, 1}, 33, {0, 1, 0, 1, 0, 1}},                    // whole loop shorter than a game frame
      {{0, 5, 0}, 16, {0, 1, 1, 1, 1, 2, 0}},              // 0-delay frames around a 50 ms one
      {{200, 200}, 500, {0, 0, 0, 0, 1, 1, 1}},            // 2 s frames drawn twice a second
  };
  for (const auto& c : cases) {
    loadFrames(c.delaysCs);
    std::vector<int> seen;
    for (std::size_t i = 0; i < c.shown.size(); ++i) {
      if (i) clock.advanceMs(c.drawEveryMs);
      seen.push_back(shown());
    }
    EXPECT_EQ(seen, c.shown) << c.delaysCs.size() << " frames drawn every " << c.drawEveryMs << " ms";
    TearDown();
  }
}

TEST_F(Playback, UsesAfterTheFirstInAGameFrameShowWhatPlaybackWouldShowThem) {
  // The game draws one texture many times a frame; the module answers those uses at once.
  struct Use {
    std::uint32_t gameFrame;
    std::int64_t afterMs;
    int readyUpTo;  // frames 0..readyUpTo are ready
    int shown;
  };
  struct Case {
    const char* what;
    std::vector<std::uint16_t> delaysCs;
    int loop;
    std::vector<Use> uses;
  };
  const Case cases[] = {
      {"a frame stays for every use of a game frame", {10, 10}, 0,
       {{1, 0, 9, 0}, {1, 0, 9, 0}, {2, 100, 9, 1}, {2, 0, 9, 1}, {3, 16, 9, 1}}},
      {"0-delay frames move at every use", {0, 0, 10}, 0, {{1, 0, 9, 0}, {1, 0, 9, 1}, {1, 0, 9, 2}, {1, 0, 9, 2}}},
      {"a frame made ready by a later use is shown by it", {10, 10}, 0,
       {{1, 0, 0, 0}, {2, 100, 0, 0}, {2, 0, 0, 0}, {2, 0, 1, 1}, {2, 0, 1, 1}}},
      {"the end of the loop count: the last frame once, then the first", {10, 10}, 1,
       {{1, 0, 9, 0}, {2, 100, 9, 1}, {3, 100, 9, 1}, {3, 0, 9, 0}, {3, 0, 9, 0}}},
      {"a later time in the same game frame is a new use", {10, 10}, 0, {{1, 0, 9, 0}, {1, 100, 9, 1}}},
  };
  for (const Case& c : cases) {
    loadFrames(c.delaysCs, c.loop);
    int readyUpTo = 0;
    auto ready = [&readyUpTo](int frame) { return frame <= readyUpTo; };
    std::int64_t now = clock.ms();
    std::vector<int> seen, expected;
    for (const Use& use : c.uses) {
      now += use.afterMs;
      readyUpTo = use.readyUpTo;
      seen.push_back(list->frameDue(now, use.gameFrame, ready));
      expected.push_back(use.shown);
    }
    EXPECT_EQ(seen, expected) << c.what;
    TearDown();
  }
}

TEST_F(Playback, ZeroDelayFrameIsShownForExactlyOneCall) {
  loadFrames({0, 10});
  EXPECT_EQ(shown(), 0);
  EXPECT_EQ(shown(), 1);
  EXPECT_EQ(shown(), 1);
}

TEST_F(Playback, LoopCountStopsOnTheLastFrameUntilRewound) {
  loadFrames({10, 10}, 2);
  EXPECT_EQ(shown(), 0);
  clock.advanceMs(100);
  EXPECT_EQ(shown(), 1);
  clock.advanceMs(100);
  EXPECT_EQ(shown(), 0);
  EXPECT_EQ(list->loopsDone, 1);
  EXPECT_FALSE(list->finished());
  clock.advanceMs(100);
  EXPECT_EQ(shown(), 1);
  const auto startOfLast = list->frameStart;
  clock.advanceMs(100);
  EXPECT_EQ(shown(), 1) << "the second wrap shows the last frame";
  EXPECT_TRUE(list->finished());
  EXPECT_EQ(list->frameStart, startOfLast);
  clock.advanceMs(10'000);
  EXPECT_EQ(shown(), 1);
  list->rewind();
  EXPECT_FALSE(list->finished());
  EXPECT_EQ(shown(), 0);
}

// Two frames of 100 ms, drawn by the module (frameDue). With loop=1 the file's count is played as
// browsers play it, then the last frame stays until the texture was out of view longer than the
// whole animation and a second; without loop=1 it repeats for ever.
TEST(PlaybackLoops, LoopCountWithAndWithoutLoopSetting) {
  struct Draw {
    std::int64_t afterMs;
    std::uint32_t gameFrame;  // 0: not counted
    int shown;
  };
  struct Case {
    const char* what;
    int loop;  // -1: no NETSCAPE extension
    bool honour;
    std::vector<Draw> draws;
  };
  const std::int64_t away = FrameList::OutOfViewMs + 1;
  const Case cases[] = {
      {"no extension: plays once, then stays", -1, true,
       {{0, 0, 0}, {100, 0, 1}, {100, 0, 1}, {100, 0, 1}, {FrameList::OutOfViewMs, 0, 1}, {100, 0, 1}}},
      {"count 0: for ever", 0, true, {{0, 0, 0}, {100, 0, 1}, {100, 0, 0}, {100, 0, 1}, {100, 0, 0}}},
      {"count 1: plays twice", 1, true,
       {{0, 0, 0}, {100, 0, 1}, {100, 0, 0}, {100, 0, 1}, {100, 0, 1}, {100, 0, 1}}},
      {"count 2: three times", 2, true,
       {{0, 0, 0}, {100, 0, 1}, {100, 0, 0}, {100, 0, 1}, {100, 0, 0}, {100, 0, 1}, {100, 0, 1}}},
      {"out of view after the stop: plays again, and stops again", -1, true,
       {{0, 0, 0}, {100, 0, 1}, {100, 0, 1}, {away, 0, 0}, {100, 0, 1}, {100, 0, 1}, {away, 0, 0}}},
      {"drawn in the game frame before, however long ago: still stopped", -1, true,
       {{0, 5, 0}, {100, 6, 1}, {100, 7, 1}, {10 * away, 8, 1}, {away, 10, 0}}},
      {"without loop=1 count 1 repeats, the last frame one call longer", 1, false,
       {{0, 0, 0}, {100, 0, 1}, {100, 0, 1}, {100, 0, 0}, {100, 0, 1}, {100, 0, 1}, {100, 0, 0}}},
      {"without loop=1 no extension repeats", -1, false, {{0, 0, 0}, {100, 0, 1}, {100, 0, 0}, {100, 0, 1}}},
  };
  for (const Case& c : cases) {
    TempGifFile file(twoFrames(c.loop));
    FrameOptions options;
    options.honourLoopCount = c.honour;
    auto list = FrameList::load(file.path(), "", UINT64_MAX, options);
    std::int64_t now = 5'000'000;
    std::vector<int> shown, expected;
    for (const Draw& draw : c.draws) {
      now += draw.afterMs;
      shown.push_back(list->frameDue(now, draw.gameFrame));
      expected.push_back(draw.shown);
    }
    EXPECT_EQ(shown, expected) << c.what;
  }
}

TEST_F(Playback, FramesWithoutTexturesGiveNull) {
  loadFrames({10});
  TearDown();
  EXPECT_EQ(list->currentTexture(), nullptr);
  EXPECT_EQ(nowMs(), clock.ms());
}
