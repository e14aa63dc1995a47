// The checker's predictions against what the real module does in the stand-in game: for the
// folders of the module's end-to-end cases, the message boxes (captions, texts, order), which
// textures play an animation, and the settings that reach the raster.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check/folder_check.h"
#include "check/game_run.h"
#include "check/case_folders.h"

namespace {

class CheckAgainstGame : public ::testing::Test, public CaseFolder {
 protected:

  // Plays the scene and compares everything the prediction says about it with the trace.
  GameRun playAndCompare(const FolderPrediction& prediction, const std::vector<std::string>& scene,
                         const std::string& options = "") {
    GameRun run = runGame(root().path(), scene, 12, options);
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
      const bool plays = predicted && predicted->plays();
      if (run.last.count(name) == 0) {
        ADD_FAILURE() << "never drawn";
        continue;
      }
      const TracedDraw& draw = run.last.at(name);
      EXPECT_EQ(draw.swapped && draw.d3dTexture != "0x0", plays);
      if (!plays) continue;
      const SettingsPrediction& s = predicted->settings;
      if (s.override.value_or(false) && s.numberColorPalette) {
        EXPECT_EQ(draw.paletteIndex, static_cast<long>(*s.numberColorPalette));
      }
      if (s.override.value_or(false) && s.alpha) {
        EXPECT_EQ(draw.alpha, *s.alpha != 0);
      }
    }
    return run;
  }
};

TEST_F(CheckAgainstGame, FolderRules) {
  folderRules();
  const FolderPrediction prediction = predict();
  EXPECT_EQ(prediction.animations.size(), 2u);
  playAndCompare(prediction, {"fire", "Fire2", "smoke", "a.b", "Fire"});
}

TEST_F(CheckAgainstGame, SixtyFilesWithCorruptOnesBeforeAndAfterTheFiftieth) {
  const Sixty sixty = sixtyWithTwoCorrupt();
  const FolderPrediction prediction = predict();
  ASSERT_EQ(prediction.boxesAtStart().size(), 1u);
  const GameRun run = playAndCompare(prediction, {sixty.good, sixty.late, sixty.early});
  EXPECT_EQ(run.boxes.size(), 2u);
}

TEST_F(CheckAgainstGame, SettingsAndRefusedFiles) {
  settingsAndRefusals();
  gif("glow.gif");
  file("GLOW.cfg", "override=1\n");  // found whatever its letter case
  gif("flamme\xC3\xA9.gif");  // a non-ASCII name, as the listing gives it: UTF-8
  const FolderPrediction prediction = predict();
  EXPECT_GE(prediction.boxesAtStart().size(), 4u);
  playAndCompare(prediction, {"only_override", "bad_alpha", "good", "glow", "orphan", "old", "empty"});
}

TEST_F(CheckAgainstGame, EverySiteAndDirect3DComingLate) {
  for (const char* name : {"water", "fire", "grass", "smoke", "sky"}) gif(std::string(name) + ".gif");
  gif("bad.gif", TestGifs::corrupt());
  const FolderPrediction prediction = predict();
  ASSERT_EQ(prediction.boxesAtStart().size(), 1u);
  playAndCompare(prediction, {"water", "fire", "grass", "smoke", "sky", "Fire", "stone"}, "d3d 5");
}

TEST_F(CheckAgainstGame, AwkwardNames) {
  const AwkwardNames names = writeAwkwardNames(*this);
  const FolderPrediction prediction = predict();
  std::vector<std::string> scene = names.devices;
  scene.insert(scene.end(), names.playing.begin(), names.playing.end());
  scene.push_back(names.corrupt);
  playAndCompare(prediction, scene);
}

TEST_F(CheckAgainstGame, ProblemsAtStartShowAHandfulOfBoxes) {
  writeManyProblems(*this);
  const FolderPrediction prediction = predict();
  ASSERT_EQ(prediction.problemsAtStart().size(), 9u);
  playAndCompare(prediction, {"noisy", "old0"});
}

TEST_F(CheckAgainstGame, NothingToShowKeepsTheGameTextureAndTooWideIsToldOnce) {
  gif("wide.gif", TestGifs::animated(20000, 1, {{1, 10}}));
  GifWriter flat({0, 0, TestGifs::palette()});
  gif("flat.gif", flat.image(TestGifs::solid(1, 1, 1)).trailer().bytes());
  gif("empty.gif", GifWriter({8, 8, TestGifs::palette()}).trailer().bytes());
  gif("blink.gif", TestGifs::animated(4, 4, {{1, 0}, {2, 0}, {3, 0}}));
  const FolderPrediction prediction = predict();
  const GameRun run = playAndCompare(prediction, {"wide", "flat", "empty", "blink"});
  EXPECT_EQ(run.boxes.size(), 1u);
}

TEST_F(CheckAgainstGame, FileInTheWayOfTheFolder) {
  root().write("Velquor", "not a folder");
  const FolderPrediction prediction = predict();
  ASSERT_EQ(prediction.boxesAtStart().size(), 1u);
  playAndCompare(prediction, {"fire"});
  EXPECT_EQ(TempFolder::read(root().file("Velquor")), "not a folder") << "the player's file stays";
}

}  // namespace
