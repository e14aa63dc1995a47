// The inspect tool reports what the module makes of a file: its figures, the module's own
// refusal and decoder messages, the settings' verdict on the background, and contact sheets whose
// pixels are the textures' pixels.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "gif/gif_test_files.h"
#include "gif/memory_limits.h"
#include "inspect/contact_sheet.h"
#include "inspect/gif_inspection.h"
#include "inspect/sheet_choices.h"
#include "plugin/test_gifs.h"
#include "png/apng_writer.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class InspectFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(::testing::TempDir()) / (std::string("velquor_inspect_") + test->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string put(const std::string& name, const GifBytes& bytes) {
    std::string path = (dir_ / name).string();
    EXPECT_TRUE(writeFile(path, bytes));
    return path;
  }
  void putText(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  fs::path dir_;
};

// Three 100 x 50 images with delays 10, 20, 30 hundredths and a repetition count of 5.
GifBytes threeFrames() {
  GifWriter gif({100, 50, testPalette(4), 0});
  gif.loop(5);
  for (std::uint16_t delay : {10, 20, 30}) gif.graphicControl({delay}).image(patternImage(100, 50, 4));
  return gif.trailer().bytes();
}

}  // namespace

using InspectGif = InspectFolder;

TEST_F(InspectGif, ReportsFramesDelaysLoopAndMemory) {
  GifInspection r = inspectGif(put("three.gif", threeFrames()));
  ASSERT_TRUE(r.accepted) << r.refusal;
  ASSERT_TRUE(r.frames);
  EXPECT_EQ(r.delays, (std::vector<std::int64_t>{100, 200, 300}));
  EXPECT_EQ(r.decoderMessages, "");
  EXPECT_EQ(r.textureBytes(), 3 * (100 * 50 * 4 + Limits::TextureOverheadBytes));
  const std::uint64_t perFrame = 100 * 50 + sizeof(AnimationFrame) + sizeof(std::unique_ptr<AnimationFrame>);
  EXPECT_EQ(r.decodedBytes(), sizeof(FrameList) + 3 * perFrame);
  EXPECT_GT(sizeof(AnimationFrame), 768u) << "the palette is part of the frame record";

  std::string text = formatInspection(r);
  EXPECT_NE(text.find(": accepted\n"), std::string::npos) << text;
  EXPECT_NE(text.find("logical size: 100 x 50\n"), std::string::npos) << text;
  EXPECT_NE(text.find("frames: 3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("delays (ms): 100 200 300\n"), std::string::npos) << text;
  EXPECT_NE(text.find("total duration: 600 ms\n"), std::string::npos) << text;
  EXPECT_NE(text.find("loop count: 5\n"), std::string::npos) << text;
}

TEST_F(InspectGif, RefusalsCarryTheModulesOwnMessages) {
  GifScreen old{8, 8, testPalette(4), 0};
  old.version = "87a";
  GifInspection version = inspectGif(put("old.gif", GifWriter(old).image(filledImage(8, 8, 1)).trailer().bytes()));
  EXPECT_FALSE(version.accepted);
  EXPECT_FALSE(version.refusal.empty());
  EXPECT_EQ(version.decoderMessages, "invalid version\n");
  EXPECT_NE(formatInspection(version).find("decoder: invalid version\n"), std::string::npos);

  // A stray byte where the second image's block should start.
  GifBytes corrupt = GifWriter({8, 8, testPalette(4), 0}).image(filledImage(8, 8, 1)).raw({0x00}).bytes();
  GifInspection broken = inspectGif(put("broken.gif", corrupt));
  EXPECT_FALSE(broken.accepted);
  EXPECT_EQ(broken.refusal, "GIF file is corrupt!");
  EXPECT_EQ(formatInspection(broken).rfind((dir_ / "broken.gif").string() + ": refused: GIF file is corrupt!\n", 0), 0u);
  EXPECT_FALSE(broken.frames);
  EXPECT_EQ(broken.textureBytes(), 0u);

  GifInspection missing = inspectGif((dir_ / "missing.gif").string());
  EXPECT_FALSE(missing.accepted);
  EXPECT_FALSE(missing.refusal.empty());
  EXPECT_EQ(missing.decoderMessages, "");
}

TEST_F(InspectGif, DecoderComplaintsOnAcceptedFilesAreShown) {
  GifBytes bytes = GifWriter({8, 8, testPalette(4), 0}).raw({0x21, 0x02, 0x00}).image(filledImage(8, 8, 1)).trailer().bytes();
  GifInspection r = inspectGif(put("ext.gif", bytes));
  EXPECT_TRUE(r.accepted) << r.refusal;
  EXPECT_EQ(r.decoderMessages, "unknown extension: 02\n");
}

TEST_F(InspectGif, SettingsFileDecidesTheBackgroundAsInGame) {
  GifInspection plain = inspectGif(put("plain.gif", threeFrames()));
  EXPECT_FALSE(plain.hasSettings);
  EXPECT_FALSE(plain.keepBackground);

  putText("kept.cfg", "background=1\r\noverride=0\r\n");
  GifInspection kept = inspectGif(put("kept.gif", threeFrames()));
  EXPECT_TRUE(kept.hasSettings);
  EXPECT_TRUE(kept.keepBackground);
  EXPECT_EQ(kept.settingsMessages, "");
  EXPECT_TRUE(kept.frames->keepBackground);

  // Without a background line the module says so and keeps the default.
  putText("partial.cfg", "override=1\n");
  GifInspection partial = inspectGif(put("partial.gif", threeFrames()));
  EXPECT_FALSE(partial.keepBackground);
  EXPECT_EQ(partial.settingsMessages,
            "background is missing: write background=0 or background=1; without it, override is "
            "not read (" + (dir_ / "partial.cfg").string() + ")\n");
}

TEST_F(InspectGif, StandardErrorIsGivenBackAfterwards) {
  std::string path = put("ext.gif", GifWriter({8, 8, testPalette(4), 0}).raw({0x21, 0x02, 0x00}).trailer().bytes());
  ::testing::internal::CaptureStderr();
  GifInspection first = inspectGif(path);
  GifInspection second = inspectGif(path);
  std::fprintf(stderr, "after: ");
  FrameList::load(path.c_str());  // the module's own load, outside any inspection
  const std::string seen = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(first.decoderMessages, "unknown extension: 02\n");
  EXPECT_EQ(second.decoderMessages, "unknown extension: 02\n");
  EXPECT_EQ(seen, "after: unknown extension: 02\n")
      << "the decoder's messages went to the inspections, later ones to the stream";
}

TEST_F(InspectGif, FolderYieldsItsGifsInNameOrder) {
  put("b.gif", threeFrames());
  put("a.gif", threeFrames());
  putText("a.cfg", "background=1\n");
  putText("notes.txt", "x");
  std::vector<std::string> paths = gifPathsIn(dir_.string());
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(fs::path(paths[0]).filename(), "a.gif");
  EXPECT_EQ(fs::path(paths[1]).filename(), "b.gif");
  EXPECT_EQ(gifPathsIn(paths[1]), std::vector<std::string>{paths[1]});
}

using ContactSheets = InspectFolder;

TEST_F(ContactSheets, PixelsAreTheTexturesOverACheckerboard) {
  // Global table: 0 red (the background colour), 1 green, 2 blue, 3 red again.
  GifBytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0};
  GifImage first = filledImage(4, 3, 1);
  first.indices = {0, 1, 2, 3, 1, 1, 1, 1, 2, 2, 2, 0};
  GifBytes bytes = GifWriter({4, 3, palette, 0}).image(first).image(filledImage(2, 1, 2, 1, 1)).trailer().bytes();
  GifInspection r = inspectGif(put("rgb.gif", bytes));
  ASSERT_TRUE(r.accepted) << r.refusal;

  for (bool keep : {false, true}) {
    ContactSheet sheet = makeContactSheet(*r.frames, keep);
    ASSERT_EQ(sheet.columns, 2);
    ASSERT_EQ(sheet.rows, 1);
    ASSERT_EQ(sheet.scale, 1);
    ASSERT_EQ(sheet.width, std::uint32_t(SheetGap + 2 * (4 + SheetGap)));
    ASSERT_EQ(sheet.height, std::uint32_t(SheetGap + 3 + SheetGap));
    std::vector<std::uint32_t> texture(12);
    for (int f = 0; f < 2; ++f) {
      r.frames->frames[f]->writePixels(texture.data(), 4 * 4, keep);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
          std::uint32_t want = texture[y * 4 + x] == 0 ? checkerboard(x, y) : texture[y * 4 + x];
          std::uint32_t got = sheet.pixels[std::size_t(SheetGap + y) * sheet.width + SheetGap + f * (4 + SheetGap) + x];
          EXPECT_EQ(got, want) << "frame " << f << " pixel " << x << "," << y << " keep " << keep;
        }
    }
    // Red pixels (indices 0 and 3) are the background colour: checkerboard unless kept.
    std::uint32_t corner = sheet.pixels[std::size_t(SheetGap) * sheet.width + SheetGap];
    EXPECT_EQ(corner, keep ? 0xFFFF0000u : checkerboard(0, 0));
    std::uint32_t third = sheet.pixels[std::size_t(SheetGap) * sheet.width + SheetGap + 3];
    EXPECT_EQ(third, keep ? 0xFFFF0000u : checkerboard(3, 0));
  }
}

TEST_F(ContactSheets, LargeFramesShrinkAndManyFramesWrap) {
  GifWriter gif({1000, 300, testPalette(4), 0});
  gif.image(patternImage(1000, 300, 4));
  for (int i = 0; i < 11; ++i) gif.image(filledImage(1, 1, 3, i, 0));
  GifInspection r = inspectGif(put("large.gif", gif.trailer().bytes()));
  ASSERT_TRUE(r.accepted) << r.refusal;
  ContactSheet sheet = makeContactSheet(*r.frames, true);
  EXPECT_EQ(sheet.scale, 4);
  EXPECT_EQ(sheet.tileWidth, 250);
  EXPECT_EQ(sheet.tileHeight, 75);
  EXPECT_LE(sheet.width, std::uint32_t(SheetMaxWidth));
  EXPECT_EQ(sheet.columns, (SheetMaxWidth - SheetGap) / (250 + SheetGap)) << "as many as fit";
  EXPECT_EQ(sheet.rows, 2);
  // Tile pixel (x, y) of the last frame shows frame pixel (4 x, 4 y).
  const AnimationFrame& last = *r.frames->frames.back();
  const int tile = 11, left = SheetGap + (tile % sheet.columns) * (250 + SheetGap);
  const int top = SheetGap + (tile / sheet.columns) * (75 + SheetGap);
  for (int y : {0, 1, 74})
    for (int x : {0, 1, 2, 249})
      EXPECT_EQ(sheet.pixels[std::size_t(top + y) * sheet.width + left + x], last.pixel(4 * x, 4 * y, true))
          << x << "," << y;
}

// A GIF whose disposal methods matter gets sheets without and with disposal=1; the one the game
// shows with the file's settings is marked, and the frames differ where the game's would.
TEST_F(ContactSheets, DisposalThatMattersGivesSheetsOfBothWays) {
  struct Case {
    const char* name;
    GifBytes gif;
    const char* cfg;  // none when null
    std::vector<std::string> endings;
    std::string inGame;
  };
  const std::vector<std::string> four = {".png", ".keep-background.png", ".disposal.png",
                                         ".keep-background.disposal.png"};
  const Case cases[] = {
      {"ignored", TestGifs::disposingLeftHalf(2), nullptr, four, ".png"},
      {"honoured", TestGifs::disposingLeftHalf(2), "background=1\noverride=0\ndisposal=1\n", four,
       ".keep-background.disposal.png"},
      {"unchanged", TestGifs::disposingLeftHalf(1), "background=0\noverride=0\ndisposal=1\n",
       {".png", ".keep-background.png"}, ".png"},
  };
  for (const Case& c : cases) {
    if (c.cfg) putText(std::string(c.name) + ".cfg", c.cfg);
    GifInspection r = inspectGif(put(std::string(c.name) + ".gif", c.gif));
    ASSERT_TRUE(r.accepted) << r.refusal;
    std::vector<std::string> endings, inGame;
    for (const SheetChoice& choice : sheetChoices(r)) {
      endings.push_back(choice.fileEnding);
      if (choice.asInGame) inGame.push_back(choice.fileEnding);
      EXPECT_EQ(choice.label.find("as in game") != std::string::npos, choice.asInGame) << choice.label;
      // The last frame's left half: green where the method is ignored, the background where honoured.
      std::unique_ptr<FrameList> other;
      const ContactSheet sheet = makeContactSheet(framesFor(r, choice, other), choice.keepBackground);
      const int x = 2, y = 8, left = SheetGap + 2 * (sheet.tileWidth + SheetGap);
      const std::uint32_t got = sheet.pixels[std::size_t(SheetGap + y) * sheet.width + left + x];
      const bool disposed = choice.honourDisposal && r.disposalMatters();
      const std::uint32_t background = choice.keepBackground ? 0xFF000000u : checkerboard(x, y);
      EXPECT_EQ(got, disposed ? background : 0xFF00FF00u) << c.name << choice.fileEnding;
    }
    EXPECT_EQ(endings, c.endings) << c.name;
    const std::string methods = r.disposalMatters() ? (r.honourDisposal ? "disposal methods: 0 2 0 (honoured"
                                                                        : "disposal methods: 0 2 0 (ignored")
                                                    : "disposal methods:";
    EXPECT_EQ(formatInspection(r).find(methods) != std::string::npos, r.disposalMatters()) << c.name;
    EXPECT_EQ(inGame, std::vector<std::string>{c.inGame}) << c.name;
  }
}

TEST_F(ContactSheets, AnimationWithoutFramesHasNoSheet) {
  GifInspection r = inspectGif(put("empty.gif", GifWriter({8, 8, testPalette(2), 0}).trailer().bytes()));
  ASSERT_TRUE(r.accepted) << r.refusal;
  EXPECT_TRUE(r.frames->frames.empty());
  EXPECT_TRUE(makeContactSheet(*r.frames, false).pixels.empty());
  EXPECT_EQ(r.textureBytes(), 0u);
}

// The samples we ship are what the demo shows: each must stay accepted without complaints.
TEST(BundledSamples, AreAllAcceptedAsTheyAreMeant) {
  std::vector<std::string> paths = gifPathsIn(VELQUOR_SAMPLES_DIR);
  ASSERT_GE(paths.size(), 3u);
  for (const std::string& path : paths) {
    GifInspection r = inspectGif(path);
    ASSERT_TRUE(r.accepted) << path << ": " << r.refusal;
    EXPECT_EQ(r.decoderMessages, "") << path;
    EXPECT_EQ(r.settingsMessages, "") << path;
    EXPECT_GE(r.frames->frames.size(), 10u) << path;
    EXPECT_EQ(r.keepBackground, r.hasSettings) << path << ": the shipped settings keep the background";
    for (std::int64_t delay : r.delays) EXPECT_GT(delay, 0) << path;
  }
}

// An animated PNG: its frames, delays and 4-byte pixels, partial alpha blended over the board.
TEST_F(ContactSheets, AnimatedPngFramesAreBlendedOverTheCheckerboard) {
  const std::vector<std::uint32_t> colours = {0xFFFF0000, 0x800000FF, 0x00000000};
  std::vector<VelquorPng::ApngFrame> frames;
  for (std::uint32_t colour : colours) frames.push_back({std::vector<std::uint32_t>(16 * 8, colour), 70});
  const auto png = VelquorPng::encodeApng(16, 8, frames, 0);
  GifInspection r = inspectGif(put("glass.png", GifBytes(png.begin(), png.end())));
  ASSERT_TRUE(r.accepted) << r.refusal;
  EXPECT_EQ(r.delays, (std::vector<std::int64_t>{70, 70, 70}));
  EXPECT_GE(r.decodedBytes(), 3u * 16 * 8 * 4);
  EXPECT_NE(formatInspection(r).find("16 x 8 x 4 bytes"), std::string::npos) << formatInspection(r);
  const ContactSheet sheet = makeContactSheet(*r.frames, false);
  for (int f = 0; f < 3; ++f)
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x) {
        const std::uint32_t got = sheet.pixels[std::size_t(SheetGap + y) * sheet.width + SheetGap + f * (16 + SheetGap) + x];
        const std::uint32_t under = checkerboard(x, y) & 0xFF;
        const std::uint32_t want = f == 0 ? 0xFFFF0000u
                                   : f == 2 ? checkerboard(x, y)
                                            : 0xFF000000u | ((under * 0x7F + 127) / 255) * 0x10100u |
                                                  ((0xFF * 0x80 + under * 0x7F + 127) / 255);
        ASSERT_EQ(got, want) << "frame " << f << " at " << x << "," << y;
      }
  EXPECT_EQ(gifPathsIn(dir_.string()).size(), 1u);
}
