// The checker's predictions against what the real module does in the stand-in game: for the
// folders of the module's end-to-end cases, the message boxes (captions, texts, order), which
// textures play an animation, and the settings that reach the raster.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check/folder_check.h"
#include "check/game_run.h"
#include "plugin/temp_folder.h"
#include "plugin/test_gifs.h"

namespace {

class CheckAgainstGame : public ::testing::Test {
 protected:
  void gif(const std::string& name, const GifBytes& bytes = TestGifs::threeColours()) {
    game_.write("Velquor/" + name, std::string(bytes.begin(), bytes.end()));
  }
  void file(const std::string& name, const std::string& text) { game_.write("Velquor/" + name, text); }
  FolderPrediction predict() const { return checkFolder(game_.file("Velquor")); }

  // Plays the scene and compares everything the prediction says about it with the trace.
  GameRun playAndCompare(const FolderPrediction& prediction, const std::vector<std::string>& scene) {
    GameRun run = runGame(game_.path(), scene, 12);
    EXPECT_EQ(run.exitCode, 0);

    std::vector<ShownBox> expected = prediction.boxesAtStart();
    for (const auto& name : scene)
      for (const auto& a : prediction.animations)
        if (a.textureName == name)
          expected.insert(expected.end(), a.boxesAtFirstUse.begin(), a.boxesAtFirstUse.end());
    EXPECT_EQ(run.boxes.size(), expected.size());
    for (std::size_t i = 0; i < std::min(run.boxes.size(), expected.size()); ++i) {
      EXPECT_EQ(run.boxes[i].caption, expected[i].caption) << "box " << i;
      EXPECT_EQ(run.boxes[i].text, expected[i].text) << "box " << i;
    }

    for (const auto& name : scene) {
      SCOPED_TRACE(name);
      const AnimationPrediction* predicted = nullptr;
      for (const auto& a : prediction.animations)
        if (a.textureName == name) predicted = &a;
      const bool plays = predicted && predicted->catalogued && predicted->gif.accepted &&
                         !predicted->gif.delaysMs.empty();
      ASSERT_EQ(run.last.count(name), 1u);
      const TracedDraw& draw = run.last.at(name);
      EXPECT_EQ(draw.swapped && draw.d3dTexture != "0x0", plays);
      if (plays && predicted->gif.delaysMs.size() > 1) EXPECT_GT(run.textures.at(name), 1) << "frames advance";
      if (!plays) continue;
      const SettingsPrediction& s = predicted->settings;
      if (s.override.value_or(false) && s.numberColorPalette)
        EXPECT_EQ(draw.paletteIndex, static_cast<long>(*s.numberColorPalette));
      if (s.override.value_or(false) && s.alpha) EXPECT_EQ(draw.alpha, *s.alpha != 0);
    }
    return run;
  }

  TempFolder game_;
};

TEST_F(CheckAgainstGame, FolderRules) {
  gif("fire.gif");
  gif("Fire2.GIF");
  gif("smoke/smoke.gif");
  gif("a.b.gif");
  const FolderPrediction prediction = predict();
  EXPECT_EQ(prediction.animations.size(), 2u);
  playAndCompare(prediction, {"fire", "Fire2", "smoke", "a.b", "Fire"});
}

TEST_F(CheckAgainstGame, SixtyFilesWithCorruptOnesBeforeAndAfterTheFiftieth) {
  char name[32];
  for (int i = 0; i < 60; ++i) {
    std::snprintf(name, sizeof name, "anim%02d.gif", i);
    gif(name, TestGifs::threeColours(4));
  }
  const FolderPrediction listed = predict();
  ASSERT_EQ(listed.animations.size(), 60u);
  const std::string early = listed.animations[7].textureName, late = listed.animations[57].textureName,
                    good = listed.animations[55].textureName;
  gif(early + ".gif", TestGifs::corrupt());
  gif(late + ".gif", TestGifs::corrupt());
  const FolderPrediction prediction = predict();
  ASSERT_EQ(prediction.boxesAtStart().size(), 1u);
  const GameRun run = playAndCompare(prediction, {good, late, early});
  EXPECT_EQ(run.boxes.size(), 2u);
}

TEST_F(CheckAgainstGame, SettingsAndRefusedFiles) {
  gif("only_override.gif");
  file("only_override.cfg", "override=1\n");
  gif("bad_alpha.gif");
  file("bad_alpha.cfg", "background=0\r\noverride=1\r\nalpha=x\r\n");
  gif("good.gif");
  file("good.cfg", "background=1\noverride=1\nnumber_color_palette=7\nalpha=300\n");
  gif("glow.gif");
  file("GLOW.cfg", "override=1\n");  // found whatever its letter case
  file("orphan.cfg", "background=1\n");
  GifScreen old{8, 8, TestGifs::palette()};
  old.version = "87a";
  gif("old.gif", GifWriter(old).image(TestGifs::solid(8, 8, 1)).trailer().bytes());
  gif("empty.gif", GifWriter({8, 8, TestGifs::palette()}).trailer().bytes());
  gif("flamme\xC3\xA9.gif");  // a non-ASCII name, as the listing gives it: UTF-8
  const FolderPrediction prediction = predict();
  EXPECT_GE(prediction.boxesAtStart().size(), 4u);
  playAndCompare(prediction, {"only_override", "bad_alpha", "good", "glow", "orphan", "old", "empty"});
}

}  // namespace
