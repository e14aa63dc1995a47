// Animations inside the stand-in game: its raster layout, its device and its reset path.
#include <gtest/gtest.h>

#include <d3d9.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "framework/kel_render_events.h"
#include "game/standin_api.h"
#include "gif/failing_d3d9_device.h"
#include "gif/frame_list.h"
#include "gif/memory_limits.h"
#include "gif/memory_use.h"
#include "framework/line_log.h"
#include "plugin/animation.h"
#include "plugin/fake_records.h"
#include "plugin/module_log.h"
#include "plugin/module_objects.h"
#include "plugin/trim_policy.h"
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

// The first use sends the file to the decode worker; waits until the worker is done with it.
void useAndWaitForTheDecoder(Animation& animation, RwRaster* host) {
  EXPECT_EQ(animation.rasterFor(host), host);
  while (animation.decoding()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
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

  // The game makes another raster at the same address, changed in one byte: each proxy follows
  // every byte but those its animation puts in itself.
  const auto extension = static_cast<std::size_t>(Host::at<std::int32_t>(Host::RasterExtensionOffset));
  const std::uint32_t forcedPalette = FakeRaster::palette(proxy);
  for (const std::size_t at : {std::size_t{12}, extension + Host::ExtensionPalette + 3, extension + Host::ExtensionAlpha,
                               extension + Host::RasterExtensionSize - 1}) {
    SCOPED_TRACE(at);
    host.poke(at, 0x01);
    for (Animation* animation : {&forced, &plain}) {
      const auto* shown = reinterpret_cast<const std::uint8_t*>(animation->rasterFor(host.raster()));
      EXPECT_EQ(0, std::memcmp(shown, host.header(), Host::RasterHeaderSize));
      EXPECT_EQ(0, std::memcmp(shown + extension + Host::ExtensionAlpha + 1,
                               host.header() + extension + Host::ExtensionAlpha + 1,
                               Host::RasterExtensionSize - Host::ExtensionAlpha - 1));
    }
    EXPECT_EQ(forcedPalette, FakeRaster::palette(proxy));
    EXPECT_EQ(FakeRaster::palette(host.raster()), FakeRaster::palette(plainProxy));
    EXPECT_EQ(1, FakeRaster::alpha(proxy));
    EXPECT_EQ(FakeRaster::alpha(host.raster()), FakeRaster::alpha(plainProxy));
  }
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

// How often the module's log holds text so far.
TEST_F(AnimationTest, NoTextureToShowLeavesTheGameItsRasterAndIsLoggedOnce) {
  IDirect3DDevice9* realDevice = Host::at<IDirect3DDevice9*>(Host::Device);
  ASSERT_NE(realDevice, nullptr);
  D3DCAPS9 caps{};
  ASSERT_EQ(realDevice->GetDeviceCaps(&caps), D3D_OK);
  FailingDeviceCalls calls;
  IDirect3DDevice9* refusing = deviceFailingCreateTexture(&calls);
  struct Case {
    std::string name;
    GifBytes gif;
    IDirect3DDevice9* device;  // while the first uses happen
    std::string logged;        // once, whatever the uses
    std::string box;           // the one message box, if any
    bool shown = false;        // the animation plays after all
  };
  GifWriter noImages({8, 8, TestGifs::palette()});
  GifWriter flat({0, 0, TestGifs::palette()});
  flat.image(TestGifs::solid(1, 1, 1));
  const int widest = static_cast<int>(caps.MaxTextureWidth), wide = widest + 1;
  const Case cases[] = {
      {"empty", noImages.trailer().bytes(), realDevice, "empty.gif has no images", ""},
      {"flat", flat.trailer().bytes(), realDevice, "flat.gif has a screen of 0 x 0", ""},
      {"refused", TestGifs::threeColours(), refusing, "refused.gif: Direct3D made no texture of 8 x 8", ""},
      {"wide", TestGifs::animated(wide, 1, {{1, 10}}), realDevice, "",
       Limits::tooLargeForDeviceText(folder.file("wide") + ".gif", wide, 1, caps.MaxTextureWidth,
                                     caps.MaxTextureHeight)},
      {"widest", TestGifs::animated(widest, 1, {{1, 10}}), realDevice, "", "", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t boxesBefore = messages.shown().size();
    Animation animation(make(c.name, c.gif), false);
    FakeRaster host(0x77);
    Host::at<IDirect3DDevice9*>(Host::Device) = c.device;
    useAndWaitForTheDecoder(animation, host.raster());
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(animation.rasterFor(host.raster()) != host.raster(), c.shown);
      clock.advanceMs(Animation::RetryMs);
    }
    Host::at<IDirect3DDevice9*>(Host::Device) = realDevice;
    showGameLoopMessageBoxes();
    if (!c.logged.empty()) {
      EXPECT_EQ(timesLogged(c.logged), 1);
    }
    const auto shown = messages.shown();
    if (c.box.empty()) {
      EXPECT_EQ(shown.size(), boxesBefore);
      EXPECT_FALSE(animation.failed());
    } else {
      ASSERT_EQ(shown.size(), boxesBefore + 1);
      EXPECT_EQ(shown.back(), (ShownMessage{c.box, "Can't load animation " + c.name}));
      EXPECT_TRUE(animation.failed());
    }
    if (c.device != refusing) continue;
    // The device gives textures again: not before the next try is due, then the animation plays.
    EXPECT_EQ(calls.createTexture, 3) << "one try of the frame due per RetryMs";
    clock.advanceMs(-1);
    EXPECT_EQ(animation.rasterFor(host.raster()), host.raster());
    clock.advanceMs(1);
    RwRaster* proxy = animation.rasterFor(host.raster());
    EXPECT_NE(proxy, host.raster());
    EXPECT_EQ(FakeRaster::texture(proxy), frameTexture(animation, 0));
  }
}

TEST_F(AnimationTest, TexturesWaitForRoomInTheirBudgetAndOthersOutOfViewGiveWay) {
  Animation fire(make("fire", TestGifs::threeColours(64)), true);
  Animation other(make("other", TestGifs::threeColours(64)), true);
  std::map<std::string, Animation*, std::less<>> catalogue{{"fire", &fire}, {"other", &other}};
  FakeRaster host(0x78);
  EXPECT_NE(other.rasterFor(host.raster()), host.raster());
  // Someone else's textures fill the budget but for less than fire needs.
  const std::uint64_t need = Limits::textureBytes(64, 64, 3);
  const std::uint64_t taken = Limits::TextureBudget - FrameList::texturesInUse() - need + 1;
  MemoryUse::textures += taken;
  EXPECT_EQ(fire.rasterFor(host.raster()), host.raster());
  EXPECT_TRUE(fire.waitingForTextureRoom());
  EXPECT_EQ(timesLogged("fire.gif: its textures (1 MiB) wait"), 1);

  // The next pass takes the textures of what is out of view; fire gets its own at its next try.
  clock.advanceMs(Animation::RetryMs);
  Trim::Times times;
  ASSERT_TRUE(Trim::pass(catalogue, times, nowMs));
  EXPECT_EQ(other.state(), AnimationState::Decoded);
  EXPECT_NE(fire.rasterFor(host.raster()), host.raster());
  EXPECT_FALSE(fire.waitingForTextures());
  MemoryUse::textures -= taken;
}

TEST_F(AnimationTest, PlaybackAdvancesOnEveryDrawOfZeroDelays) {
  Animation animation(make("blink", TestGifs::animated(4, 4, {{1, 0}, {2, 0}, {3, 0}})), true);
  FakeRaster host(0x79);
  std::vector<std::uint32_t> shown;
  for (int i = 0; i < 4; ++i) {
    shown.push_back(FakeRaster::texture(animation.rasterFor(host.raster())));
    clock.advanceMs(16);
  }
  EXPECT_EQ(shown, (std::vector<std::uint32_t>{frameTexture(animation, 0), frameTexture(animation, 1),
                                               frameTexture(animation, 2), frameTexture(animation, 0)}));
}

// Textures filled in tiles (a device that can take them, and render events to release the
// staging texture before a reset) while `body` runs.
template <typename Body>
void withTiles(Body body) {
  renderEvents = new KelRenderEvents();
  body();
  delete renderEvents;
  renderEvents = nullptr;
}

TEST_F(AnimationTest, TexturesDrawnTogetherStayWithinTheirBudget) {
  // Room for the textures of one and one texture more: the first drawn takes it, the other waits
  // however their textures come.
  const auto gif = TestGifs::threeColours(64);
  Animation first(make("first", gif), true), second(make("second", gif), true);
  const std::uint64_t taken = Limits::TextureBudget - FrameList::texturesInUse() - 4 * Limits::textureBytes(64, 64, 1);
  MemoryUse::textures += taken;
  FakeRaster host(0x7A);
  std::uint64_t most = 0;
  for (int i = 0; i < 4; ++i) {
    first.rasterFor(host.raster());
    second.rasterFor(host.raster());
    most = std::max(most, FrameList::texturesInUse());
    clock.advanceMs(100);
  }
  MemoryUse::textures -= taken;
  EXPECT_LE(most, Limits::TextureBudget);
  EXPECT_FALSE(first.waitingForTextures());
  EXPECT_TRUE(second.waitingForTextureRoom());
}

TEST_F(AnimationTest, FirstLoopWaitsForEachFramesTextureAndSkipsNone) {
  withTiles([&] {
    // Each texture takes three game frames to fill; frames of 100 ms and of 10 ms take turns, so
    // that a short one would still be filling when the long one after it is due.
    constexpr int Frames = 6;
    std::vector<TestGifs::Frame> frames;
    for (int i = 0; i < Frames; ++i)
      frames.push_back({static_cast<std::uint8_t>(1 + i % 3), static_cast<std::uint16_t>(i % 2 ? 1 : 10)});
    Animation animation(make("large", TestGifs::animated(1024, 512, frames)), true);
    FakeRaster host(0x7B);
    std::vector<std::uint32_t> shown;
    for (int call = 0; call < 60; ++call) {
      shown.push_back(FakeRaster::texture(animation.rasterFor(host.raster())));
      clock.advanceMs(16);
    }
    std::vector<int> order;  // the frames on screen, each change once; -1 the game's own
    for (std::uint32_t texture : shown) {
      int index = -1;
      for (int i = 0; i < Frames; ++i)
        if (texture != 0 && texture == frameTexture(animation, i)) index = i;
      if (order.empty() || order.back() != index) order.push_back(index);
    }
    ASSERT_GE(order.size(), Frames + 2u);
    EXPECT_EQ(order[0], -1) << "nothing to show while the first texture fills";
    for (std::size_t i = 1; i < order.size(); ++i)
      EXPECT_EQ(order[i], static_cast<int>((i - 1) % Frames)) << "change " << i;
  });
}

TEST_F(AnimationTest, SmallAnimationIsNotHeldBackByLargeOnesBeingFilled) {
  withTiles([&] {
    Animation large(make("large", TestGifs::animated(1024, 1024, {{1, 10}, {2, 10}})), true);
    Animation small(make("small", TestGifs::threeColours()), true);
    FakeRaster host(0x7C);
    // The large one's first texture takes more game frames than these; the small one, drawn
    // after it, shows from the first.
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(large.rasterFor(host.raster()), host.raster()) << "game frame " << i;
      EXPECT_NE(small.rasterFor(host.raster()), host.raster()) << "game frame " << i;
      clock.advanceMs(16);
    }
  });
}

}  // namespace
