// Animations inside the stand-in game: its raster layout, its device and its reset path.
#include <gtest/gtest.h>

#include <d3d9.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "framework/kel_render_events.h"
#include "game/standin_api.h"
#include "gif/frame_list.h"
#include "plugin/animation.h"
#include "plugin/fake_records.h"
#include "plugin/module_objects.h"
#include "plugin/recorded_messages.h"
#include "plugin/temp_folder.h"
#include "plugin/test_gifs.h"
#include "testing_clock.h"

namespace {

std::uint32_t address(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

// Uses the animation until it shows a frame (or fails): one that was not decoded yet gets its
// frames from the decode worker some time after its first use.
RwRaster* useUntilShown(Animation& animation, RwRaster* host) {
  for (int i = 0; i < 10'000; ++i) {
    RwRaster* shown = animation.rasterFor(host);
    if (shown != host || animation.failed()) return shown;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return host;
}

class AnimationTest : public ::testing::Test {
 protected:
  // Writes <name>.gif (and <name>.cfg when given) and returns the base path.
  std::string make(const std::string& name, const GifBytes& gif, const std::string& cfg = "") {
    writeFile(folder.file(name + ".gif"), gif);
    if (!cfg.empty()) folder.write(name + ".cfg", cfg);
    return folder.file(name);
  }
  std::uint32_t frameTexture(const Animation& animation, int frame) {
    return address(animation.frames()->frames.at(frame)->texture);
  }

  TempFolder folder;
  RecordedMessages messages;
  ManualClock clock;
};

TEST_F(AnimationTest, NullRasterChangesNothing) {
  Animation animation(make("fire", TestGifs::threeColours()), false);
  EXPECT_EQ(animation.rasterFor(nullptr), nullptr);
  EXPECT_EQ(animation.state(), AnimationState::Unloaded);
  EXPECT_EQ(animation.lastUsed(), 0);
}

TEST_F(AnimationTest, ProxyFollowsTheHostRasterAndTheFrameDueNow) {
  Animation animation(make("fire", TestGifs::threeColours()), true);
  ASSERT_EQ(animation.state(), AnimationState::Decoded);
  FakeRaster first(0x11), second(0x22);

  RwRaster* proxy = animation.rasterFor(first.raster());
  ASSERT_NE(proxy, first.raster());
  EXPECT_EQ(animation.state(), AnimationState::Uploaded);
  EXPECT_EQ(animation.lastUsed(), clock.ms());
  EXPECT_EQ(0, std::memcmp(proxy, first.header(), Host::RasterHeaderSize));
  EXPECT_EQ(FakeRaster::texture(proxy), frameTexture(animation, 0));
  EXPECT_NE(FakeRaster::texture(proxy), 0u);
  EXPECT_EQ(FakeRaster::palette(proxy), FakeRaster::palette(first.raster()));

  clock.advanceMs(100);
  EXPECT_EQ(animation.rasterFor(second.raster()), proxy);
  EXPECT_EQ(0, std::memcmp(proxy, second.header(), Host::RasterHeaderSize));
  EXPECT_EQ(FakeRaster::texture(proxy), frameTexture(animation, 1));
  EXPECT_EQ(FakeRaster::palette(proxy), FakeRaster::palette(second.raster()));

  clock.advanceMs(100);
  animation.rasterFor(first.raster());
  EXPECT_EQ(0, std::memcmp(proxy, first.header(), Host::RasterHeaderSize));
  EXPECT_EQ(FakeRaster::texture(proxy), frameTexture(animation, 2));
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(AnimationTest, OverridesGivePrivatePaletteAndAlpha) {
  Animation forced(make("forced", TestGifs::threeColours(),
                        "override=1\nbackground=0\nnumber_color_palette=5\nalpha=1\n"), false);
  FakeRaster host(0x33);
  RwRaster* proxy = useUntilShown(forced, host.raster());
  const auto* palette = reinterpret_cast<const std::uint8_t*>(FakeRaster::palette(proxy));
  ASSERT_NE(palette, nullptr);
  ASSERT_NE(FakeRaster::palette(proxy), FakeRaster::palette(host.raster()));
  EXPECT_EQ(*reinterpret_cast<const std::uint32_t*>(palette + Host::PaletteIndexOffset), 5u);
  EXPECT_EQ(std::set<std::uint8_t>(palette, palette + Host::PaletteIndexOffset),
            std::set<std::uint8_t>{0});
  EXPECT_EQ(FakeRaster::alpha(proxy), 1);

  Animation plain(make("plain", TestGifs::threeColours(),
                       "override=0\nbackground=0\nnumber_color_palette=5\nalpha=1\n"), false);
  RwRaster* plainProxy = useUntilShown(plain, host.raster());
  EXPECT_EQ(FakeRaster::palette(plainProxy), FakeRaster::palette(host.raster()));
  EXPECT_EQ(FakeRaster::alpha(plainProxy), 0);
}

TEST_F(AnimationTest, LoopCountOfOneStillRepeats) {
  Animation animation(make("once", TestGifs::animated(4, 4, {{1, 10}, {2, 10}}, 1)), true);
  FakeRaster host(0x44);
  std::vector<std::uint32_t> shown;
  for (int i = 0; i < 8; ++i) {
    shown.push_back(FakeRaster::texture(animation.rasterFor(host.raster())));
    clock.advanceMs(100);
  }
  const auto red = frameTexture(animation, 0), green = frameTexture(animation, 1);
  // The wrap shows the last frame for one call, then playback starts again.
  EXPECT_EQ(shown, (std::vector<std::uint32_t>{red, green, green, red, green, green, red, green}));
}

TEST_F(AnimationTest, FirstUseDecodesOffTheGameThreadAndTexturesComeAsDue) {
  Animation animation(make("late", TestGifs::threeColours()), false);
  FakeRaster host(0x77);
  // The first use keeps the game's raster and starts the decoding; dropping the animation while
  // its frames are on their way is safe, and the next use starts again.
  EXPECT_EQ(animation.rasterFor(host.raster()), host.raster());
  EXPECT_EQ(animation.state(), AnimationState::Decoded);
  EXPECT_EQ(animation.frames(), nullptr);
  animation.setState(AnimationState::Unloaded);
  EXPECT_EQ(animation.frames(), nullptr);
  EXPECT_EQ(animation.rasterFor(host.raster()), host.raster());

  RwRaster* proxy = useUntilShown(animation, host.raster());
  ASSERT_NE(proxy, host.raster());
  EXPECT_EQ(animation.state(), AnimationState::Uploaded);
  EXPECT_EQ(FakeRaster::texture(proxy), frameTexture(animation, 0));
  EXPECT_NE(frameTexture(animation, 0), 0u);
  EXPECT_EQ(frameTexture(animation, 1), 0u);
  EXPECT_EQ(frameTexture(animation, 2), 0u);
  clock.advanceMs(100);
  animation.rasterFor(host.raster());
  EXPECT_NE(frameTexture(animation, 1), 0u);
  EXPECT_EQ(FakeRaster::texture(proxy), frameTexture(animation, 1));
  EXPECT_EQ(frameTexture(animation, 2), 0u);
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(AnimationTest, OneGameFrameMakesTexturesUpToItsBudget) {
  const auto gif = TestGifs::animated(800, 800, {{1, 10}, {2, 10}});  // two fill the budget
  Animation first(make("first", gif), true), second(make("second", gif), true);
  FakeRaster host(0x88);
  RwRaster* firstProxy = first.rasterFor(host.raster());
  ASSERT_NE(firstProxy, host.raster());
  EXPECT_EQ(second.rasterFor(host.raster()), host.raster());  // nothing of its own to show yet
  clock.advanceMs(1);
  RwRaster* secondProxy = second.rasterFor(host.raster());
  ASSERT_NE(secondProxy, host.raster());

  // Both are due for their next frame; the second takes this game frame's budget, the first
  // keeps its frame on screen until the next game frame.
  clock.advanceMs(100);
  second.rasterFor(host.raster());
  EXPECT_EQ(FakeRaster::texture(secondProxy), frameTexture(second, 1));
  EXPECT_EQ(first.rasterFor(host.raster()), firstProxy);
  EXPECT_EQ(frameTexture(first, 1), 0u);
  EXPECT_EQ(FakeRaster::texture(firstProxy), frameTexture(first, 0));
  clock.advanceMs(1);
  first.rasterFor(host.raster());
  EXPECT_NE(frameTexture(first, 1), 0u);
  EXPECT_EQ(FakeRaster::texture(firstProxy), frameTexture(first, 1));
}

TEST_F(AnimationTest, ResidencyMovesUpAndDown) {
  const auto base = make("fire", TestGifs::threeColours());
  Animation animation(base, false);
  animation.setState(AnimationState::Uploaded);
  ASSERT_NE(animation.frames(), nullptr);
  for (const auto& frame : animation.frames()->frames) EXPECT_NE(frame->texture, nullptr);

  animation.setState(AnimationState::Decoded);
  ASSERT_NE(animation.frames(), nullptr);
  for (const auto& frame : animation.frames()->frames) EXPECT_EQ(frame->texture, nullptr);

  // Textures come back from the decoded frames: the file is not read again.
  std::filesystem::remove(base + ".gif");
  animation.setState(AnimationState::Uploaded);
  for (const auto& frame : animation.frames()->frames) EXPECT_NE(frame->texture, nullptr);

  animation.setState(AnimationState::Unloaded);
  EXPECT_EQ(animation.frames(), nullptr);
  EXPECT_THROW(animation.setState(AnimationState::Decoded), std::exception);
  EXPECT_EQ(animation.state(), AnimationState::Unloaded);
}

TEST_F(AnimationTest, UndecodableAtFirstUseIsReportedOnceAndLeftAlone) {
  Animation animation(make("broken", TestGifs::corrupt()), false);
  EXPECT_TRUE(messages.shown().empty());
  FakeRaster host(0x55);
  EXPECT_EQ(useUntilShown(animation, host.raster()), host.raster());
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(animation.rasterFor(host.raster()), host.raster());
    clock.advanceMs(16);
  }
  EXPECT_TRUE(animation.failed());
  EXPECT_EQ(animation.state(), AnimationState::Unloaded);
  // Never a box from inside the game's draw call: the game loop shows it.
  EXPECT_TRUE(messages.shown().empty());
  showGameLoopMessageBoxes();
  showGameLoopMessageBoxes();
  EXPECT_EQ(messages.shown(),
            (std::vector<ShownMessage>{{"GIF file is corrupt!", "Can't load animation broken"}}));
}

TEST_F(AnimationTest, FailedPreloadKeepsTheSettingsFile) {
  const std::string cfg = "override=1\nbackground=0\nalpha=9\n# kept\n";
  const auto base = make("broken", TestGifs::corrupt(), cfg);
  EXPECT_THROW(Animation(base, true), std::runtime_error);
  EXPECT_EQ(TempFolder::read(base + ".cfg"), cfg);
}

TEST_F(AnimationTest, TexturesFollowADeviceReset) {
  StandinGame& game = standinGame();
  ASSERT_NE(game.device(), nullptr);
  renderEvents = new KelRenderEvents();
  {
    Animation drawn(make("drawn", TestGifs::threeColours()), true);
    Animation decoded(make("decoded", TestGifs::threeColours()), true);
    FakeRaster host(0x66);
    drawn.rasterFor(host.raster());
    decoded.rasterFor(host.raster());
    decoded.setState(AnimationState::Decoded);

    // Reset fails while a default-pool texture lives: success shows they were released.
    EXPECT_EQ(game.resetDevice(), D3D_OK);
    EXPECT_EQ(drawn.state(), AnimationState::Uploaded);
    // Textures come back one by one as their frames become due.
    for (const auto& frame : drawn.frames()->frames) EXPECT_EQ(frame->texture, nullptr);
    for (const auto& frame : decoded.frames()->frames) EXPECT_EQ(frame->texture, nullptr);

    clock.advanceMs(100);
    RwRaster* proxy = drawn.rasterFor(host.raster());
    EXPECT_NE(frameTexture(drawn, 1), 0u);
    EXPECT_EQ(FakeRaster::texture(proxy), frameTexture(drawn, 1));
    EXPECT_EQ(frameTexture(drawn, 2), 0u);
    game.runFrames(1);
  }
  delete renderEvents;
  renderEvents = nullptr;
}

}  // namespace
