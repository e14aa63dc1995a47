// The sample generator's encodings must show the pictures it rendered: an animation whose later
// images cover only what changed shows, in the module, the same frames as one that stores every
// image whole.
#include <gtest/gtest.h>

#include <filesystem>

#include "gif/frame_list.h"
#include "samples/animation_encoder.h"

namespace {

std::unique_ptr<FrameList> loadBytes(const GifBytes& bytes, const std::string& name) {
  std::string path = (std::filesystem::path(::testing::TempDir()) / name).string();
  EXPECT_TRUE(writeFile(path, bytes));
  std::unique_ptr<FrameList> list = FrameList::load(path.c_str());
  std::remove(path.c_str());
  return list;
}

}  // namespace

TEST(SampleAnimations, ChangedRegionImagesComposeIntoTheWholeFrames) {
  for (Samples::Scene scene : {Samples::Scene::Landscape, Samples::Scene::Neon}) {
    Samples::AnimationSpec whole;
    whole.name = "t";
    whole.width = 48;
    whole.height = 36;
    whole.frames = 6;
    whole.scene = scene;
    whole.colours = 40;
    whole.dither = Samples::Dither::Ordered;
    whole.delay = 7;
    Samples::AnimationSpec changed = whole;
    changed.changedRegionOnly = true;

    std::unique_ptr<FrameList> a = loadBytes(Samples::encodeAnimation(whole), "whole.gif");
    std::unique_ptr<FrameList> b = loadBytes(Samples::encodeAnimation(changed), "changed.gif");
    ASSERT_EQ(a->frames.size(), 6u);
    ASSERT_EQ(b->frames.size(), 6u);
    EXPECT_EQ(a->width, 48);
    EXPECT_EQ(a->height, 36);
    EXPECT_EQ(a->totalDuration, 6 * 70);
    // The palettes may differ by the colour kept for transparency: compare what is shown.
    for (int f = 0; f < 6; ++f) {
      int differing = 0;
      for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 48; ++x) differing += a->frames[f]->pixel(x, y, true) != b->frames[f]->pixel(x, y, true);
      EXPECT_EQ(differing, 0) << Samples::sceneName(scene) << " frame " << f;
    }
  }
}

TEST(SampleAnimations, FlatBackgroundIsTheBackgroundIndex) {
  // Neon's wall is exactly the file's background colour, so the module makes it transparent.
  Samples::AnimationSpec neon;
  neon.name = "neon";
  neon.width = 32;
  neon.height = 32;
  neon.frames = 2;
  neon.scene = Samples::Scene::Neon;
  neon.colours = 16;
  neon.delay = 10;
  std::unique_ptr<FrameList> list = loadBytes(Samples::encodeAnimation(neon), "neon.gif");
  ASSERT_EQ(list->frames.size(), 2u);
  const AnimationFrame& frame = *list->frames[0];
  EXPECT_EQ(frame.pixel(0, 0, false), 0u) << "corner is wall: transparent";
  EXPECT_EQ(frame.pixel(0, 0, true), 0xFF100818u) << "the wall colour when kept";
  EXPECT_NE(frame.pixel(16, 16, false) >> 24, 0u) << "the sign's bar stays opaque";
}
