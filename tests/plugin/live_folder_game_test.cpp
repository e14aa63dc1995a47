// The real Velquor.asi following its folder while the stand-in game runs: files replaced, added,
// removed, half-written, emptied and settings changed between frames, the whole folder taken away
// and brought back, seen in the trace, the log and real pixels.
// Each case runs in a game of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "game/standin_api.h"
#include "host/host.h"
#include "plugin/game_folder.h"
#include "plugin/module_scene.h"
#include "plugin/test_gifs.h"

namespace {

using Standin::DrawRecord;

StandinGame& game() { return standinGame(); }

constexpr std::uint32_t Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF, Black = 0xFF000000;

// One frame of one colour of TestGifs::palette(), shown for a second.
GifBytes solid(std::uint8_t index) { return TestGifs::animated(8, 8, {{index, 100}}); }

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Runs frames for at least ms of real time; each frame's draws go to inspect.
void runFor(double ms, const std::function<void(const std::vector<DrawRecord>&)>& inspect = {}) {
  const auto start = std::chrono::steady_clock::now();
  while (msSince(start) < ms) {
    game().runFrames(1);
    if (inspect) inspect(game().draws(-1));
  }
}

// The colour at the centre of the texture's cell in a frame run now.
std::uint32_t colourOf(const std::string& name) {
  const auto capture = game().captureFrame();
  if (capture.width == 0) return 0;
  const auto cell = game().cellCentre(name);
  return capture.at(cell.x, cell.y);
}

// Runs frames until the texture's cell shows colour; false after limitMs of real time.
bool runUntilShows(const std::string& name, std::uint32_t colour, double limitMs = 10'000) {
  const auto start = std::chrono::steady_clock::now();
  while (msSince(start) < limitMs)
    if (closeColours(colourOf(name), colour)) return true;
  return false;
}

bool swapped(const std::string& name) {
  const DrawRecord* draw = drawOf(game().draws(-1), name);
  return draw != nullptr && draw->swapped();
}

// A folder is renamed as a player would, again while the module happens to be listing it.
void renameFolder(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::rename(from, to, error);
    if (!error) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ADD_FAILURE() << from << " -> " << to << ": " << error.message();
}

// Long enough for a change to settle: two listings of the folder, a second apart, and a decode.
constexpr double SettleMs = 3'500;

TEST(Module, LiveFolderFollowsChanges) {
  GameFolder folder;
  folder.gif("swap.gif", solid(1));
  folder.gif("gone.gif", solid(1));
  folder.gif("tuned.gif", solid(0));  // all background: see-through until its settings keep it
  folder.gif("growing.gif", solid(1));
  game().setScene({texture("swap", Host::RasterSiteEax), texture("gone", Host::RasterSiteEbx),
                   texture("tuned", Host::RasterSiteEsi, true, true),
                   texture("growing", Host::RasterSiteEdx), texture("newcomer", Host::TextureToRaster)});
  game().runFrames(3);
  for (const char* name : {"swap", "gone", "tuned", "growing"}) ASSERT_TRUE(swapped(name)) << name;
  const auto backdrop = [] {
    const auto capture = game().captureFrame();
    return capture.at(capture.width - 1, capture.height - 1);
  }();
  EXPECT_TRUE(closeColours(colourOf("tuned"), backdrop));
  EXPECT_NE(drawOf(game().draws(-1), "tuned")->paletteIndex, 5);

  // Between two frames: a GIF replaced, one added, settings written, and a GIF that a slow tool
  // writes a few bytes at a time.
  folder.gif("swap.gif", solid(3));
  folder.gif("newcomer.gif", solid(2));
  folder.file("tuned.cfg", "background=1\noverride=1\nnumber_color_palette=5\nalpha=1\n");
  const GifBytes growing = TestGifs::animated(8, 8, {{3, 100}, {2, 100}});
  std::size_t written = growing.size() / 3;
  folder.gif("growing.gif", GifBytes(growing.begin(), growing.begin() + written));
  // The tool writes on its own clock, faster than the module looks, however slowly the game's
  // frames come on a busy machine.
  std::atomic<bool> toolDone{false};
  std::thread slowTool([&] {
    while (!toolDone.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (written < growing.size() - 1) ++written;
      folder.gif("growing.gif", GifBytes(growing.begin(), growing.begin() + written));
    }
  });
  // What stays in place plays on without a gap: old frames until the new ones are there.
  std::set<std::string> gaps;
  const auto start = std::chrono::steady_clock::now();
  while (msSince(start) < SettleMs) {
    runFor(250, [&gaps](const std::vector<DrawRecord>& draws) {
      for (const char* name : {"swap", "tuned", "growing"}) {
        const DrawRecord* draw = drawOf(draws, name);
        if (draw == nullptr || !draw->swapped()) gaps.insert(name);
      }
    });
  }
  toolDone = true;
  slowTool.join();
  EXPECT_TRUE(gaps.empty()) << "the game's own texture showed in " << *gaps.begin();
  EXPECT_TRUE(closeColours(colourOf("swap"), Blue)) << std::hex << colourOf("swap");
  EXPECT_TRUE(closeColours(colourOf("newcomer"), Green)) << std::hex << colourOf("newcomer");
  EXPECT_TRUE(closeColours(colourOf("tuned"), Black)) << std::hex << colourOf("tuned");
  EXPECT_TRUE(closeColours(colourOf("growing"), Red)) << "a half-written file was read";
  const auto draws = game().draws(-1);
  EXPECT_TRUE(drawOf(draws, "newcomer")->swapped());
  EXPECT_EQ(drawOf(draws, "tuned")->paletteIndex, 5);
  EXPECT_TRUE(game().messageBoxes().empty());

  // The slow tool is done: the new frames play.
  folder.gif("growing.gif", growing);
  EXPECT_TRUE(runUntilShows("growing", Blue));
  EXPECT_TRUE(runUntilShows("growing", Green));
  EXPECT_TRUE(game().messageBoxes().empty());

  // A file saved broken is reported once, as at start, and leaves the texture to the game ...
  folder.gif("swap.gif", TestGifs::corrupt());
  EXPECT_TRUE(runUntilShows("swap", 0xFFFFFF00));
  runFor(SettleMs);
  const auto boxes = game().messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Can't load animation swap");
  EXPECT_EQ(boxes[0].text, "GIF file is corrupt!");
  // ... until it is saved again.
  folder.gif("swap.gif", solid(2));
  EXPECT_TRUE(runUntilShows("swap", Green));
  EXPECT_EQ(game().messageBoxes().size(), 1u);

  // A GIF removed, alone: its texture goes back to the game.
  std::filesystem::remove(folder.path("gone.gif"));
  EXPECT_TRUE(runUntilShows("gone", 0xFFFFFF00)) << std::hex << colourOf("gone");
  const DrawRecord* gone = drawOf(game().draws(-1), "gone");
  ASSERT_NE(gone, nullptr);
  EXPECT_FALSE(gone->swapped());
  EXPECT_EQ(gone->d3dTexture, gone->ownD3dTexture);

  // Saves that stop half-way, or empty the file first, and stay so for longer than a look: the
  // old frames play on, without a box; the emptied file written at last plays at once, the one
  // left without its trailer after a while, with a line in the log.
  const GifBytes cut = TestGifs::animated(8, 8, {{1, 100}, {2, 100}});
  folder.gif("growing.gif", GifBytes(cut.begin(), cut.end() - 3));
  folder.gif("newcomer.gif", {});
  std::set<std::uint32_t> growingColours;
  runFor(SettleMs, [&growingColours, &gaps](const std::vector<DrawRecord>& draws) {
    for (const char* name : {"growing", "newcomer"}) {
      const DrawRecord* draw = drawOf(draws, name);
      if (draw == nullptr || !draw->swapped()) gaps.insert(name);
    }
    growingColours.insert(colourOf("growing"));
  });
  EXPECT_TRUE(gaps.empty()) << "the game's own texture showed in " << *gaps.begin();
  EXPECT_EQ(growingColours.count(Red), 0u) << "a file still being written was shown";
  EXPECT_TRUE(closeColours(colourOf("newcomer"), Green));
  folder.gif("newcomer.gif", solid(3));
  EXPECT_TRUE(runUntilShows("newcomer", Blue));
  EXPECT_TRUE(runUntilShows("growing", Red, 10'000));
  EXPECT_EQ(game().messageBoxes().size(), 1u) << "the corrupt file's, alone";
  const std::string cutLine = "Velquor/growing.gif ends before its trailer";
  const std::string log = folder.log();
  EXPECT_NE(log.find(cutLine), std::string::npos) << log;
  EXPECT_EQ(log.find(cutLine), log.rfind(cutLine)) << "logged once";

  // The whole folder renamed away: every texture goes back to the game, said once in the log;
  // they come back with the folder.
  const std::filesystem::path animations = std::filesystem::u8path(folder.path("")).parent_path();
  const std::filesystem::path away = animations.parent_path() / "Velquor-away";
  renameFolder(animations, away);
  EXPECT_TRUE(runUntilShows("swap", 0xFFFFFF00)) << std::hex << colourOf("swap");
  for (const auto& draw : game().draws(-1)) EXPECT_FALSE(draw.swapped()) << draw.texture;
  renameFolder(away, animations);
  EXPECT_TRUE(runUntilShows("swap", Green));
  const std::string goneLine = "The folder Velquor is gone";
  EXPECT_EQ(folder.log().find(goneLine), folder.log().rfind(goneLine)) << folder.log();
  EXPECT_NE(folder.log().find(goneLine), std::string::npos);
  EXPECT_EQ(game().messageBoxes().size(), 1u);

  // Unloaded while watching: whatever look is in flight, the game goes on without the module.
  game().unloadModules();
  game().runFrames(3);
  for (const auto& draw : game().draws(-1)) EXPECT_FALSE(draw.swapped()) << draw.texture;
}

// Run with Velquor.ini saying watch=0: the folder is read once, at start.
TEST(Module, LiveFolderWatchTurnedOff) {
  GameFolder folder;
  folder.moduleSettings("watch=0\n");
  folder.gif("swap.gif", solid(1));
  folder.gif("gone.gif", solid(1));
  game().setScene({texture("swap", Host::RasterSiteEax), texture("gone", Host::RasterSiteEbx),
                   texture("newcomer", Host::RasterSiteEsi)});
  game().runFrames(3);
  ASSERT_TRUE(closeColours(colourOf("swap"), Red));

  folder.gif("swap.gif", solid(3));
  folder.gif("newcomer.gif", solid(2));
  std::filesystem::remove(folder.path("gone.gif"));
  runFor(SettleMs);
  EXPECT_TRUE(closeColours(colourOf("swap"), Red)) << std::hex << colourOf("swap");
  EXPECT_TRUE(closeColours(colourOf("gone"), Red)) << std::hex << colourOf("gone");
  EXPECT_FALSE(swapped("newcomer"));
  EXPECT_TRUE(game().messageBoxes().empty());
}

}  // namespace
