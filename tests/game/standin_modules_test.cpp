// Modules inside the stand-in: one loaded by the loader before the first frame, one that does
// nothing, one that hooks a texture site by hand and changes what is drawn, and one that forgets
// to put the game's bytes back.
#include <gtest/gtest.h>

#include <cstring>

#include "game/standin_api.h"
#include "host/host.h"

namespace {

const Standin::DrawRecord* drawOf(const std::vector<Standin::DrawRecord>& draws, const std::string& name) {
  for (const auto& d : draws)
    if (d.texture == name) return &d;
  return nullptr;
}

TEST(StandinModules, TheLoaderLoadsNamedModulesBeforeTheFirstPass) {
  StandinGame& game = standinGame();
  EXPECT_EQ(game.frameCount(), 0);
  EXPECT_EQ(game.loopPasses(), 0u);
  EXPECT_NE(GetModuleHandleA("standin_idle.asi"), nullptr);
}

TEST(StandinModules, AModuleThatDoesNothingLeavesNoTrace) {
  StandinGame& game = standinGame();
  HMODULE idle = game.loadModule(STANDIN_IDLE_MODULE);
  ASSERT_NE(idle, nullptr);
  game.runFrames(2);
  for (const auto& d : game.draws(-1)) EXPECT_FALSE(d.swapped()) << d.texture;
  EXPECT_TRUE(game.unloadModule(idle));
  EXPECT_TRUE(game.changedCode().empty());
}

TEST(StandinModules, AHookedSiteChangesWhatIsDrawnUntilTheModuleGoes) {
  StandinGame& game = standinGame();
  HMODULE swap = game.loadModule(STANDIN_SWAP_MODULE);
  ASSERT_NE(swap, nullptr);
  ASSERT_EQ(game.changedCode().size(), 1u);
  EXPECT_EQ(game.changedCode()[0].address, Host::RasterSiteEax);

  Standin::Capture capture = game.captureFrame();
  auto draws = game.draws(-1);
  const auto* fire = drawOf(draws, "fire");
  ASSERT_NE(fire, nullptr);
  EXPECT_TRUE(fire->swapped());
  EXPECT_NE(fire->d3dTexture, fire->ownD3dTexture);
  EXPECT_NE(fire->d3dTexture, 0u);
  for (const char* other : {"water", "grass", "smoke", "sky"}) EXPECT_FALSE(drawOf(draws, other)->swapped()) << other;
  ASSERT_FALSE(capture.pixels.empty());
  const Standin::Point firePoint = game.cellCentre("fire"), waterPoint = game.cellCentre("water");
  EXPECT_EQ(capture.at(firePoint.x, firePoint.y), 0xFFFFFF00u);  // the module's yellow
  EXPECT_EQ(capture.at(waterPoint.x, waterPoint.y), 0xFF0000FFu);

  EXPECT_TRUE(game.unloadModule(swap));
  EXPECT_TRUE(game.changedCode().empty());
  capture = game.captureFrame();
  EXPECT_FALSE(drawOf(game.draws(-1), "fire")->swapped());
  EXPECT_EQ(capture.at(firePoint.x, firePoint.y), 0xFFFF0000u);
}

TEST(StandinModules, WithoutDrawingEverySiteStillRunsAndAModuleCanBeSuspended) {
  StandinGame& game = standinGame();
  HMODULE swap = game.loadModule(STANDIN_SWAP_MODULE);
  ASSERT_NE(swap, nullptr);
  const auto patched = game.changedCode();
  ASSERT_EQ(patched.size(), 1u);
  const std::size_t draws = game.draws().size(), lines = game.traceLines().size();
  game.setDrawing(false);
  game.runFrames(2);
  EXPECT_EQ(game.draws().size(), draws);
  EXPECT_EQ(game.traceLines().size(), lines);
  auto timing = game.sceneTimings().back();
  EXPECT_EQ(timing.frame, game.frameCount() - 1);
  EXPECT_EQ(timing.uses, 5);
  EXPECT_EQ(timing.swapped, 1);  // fire, through the module's hook
  EXPECT_EQ(timing.longestSiteTexture, -1);  // not timed one by one

  // Suspended twice, resumed once: the game's own code runs, then the module's again.
  game.suspendModuleCode(true);
  game.suspendModuleCode(true);
  EXPECT_TRUE(game.changedCode().empty());
  game.runFrames(1);
  EXPECT_EQ(game.sceneTimings().back().swapped, 0);
  game.suspendModuleCode(false);
  ASSERT_EQ(game.changedCode().size(), 1u);
  EXPECT_EQ(game.changedCode()[0].now, patched[0].now);
  game.runFrames(1);
  EXPECT_EQ(game.sceneTimings().back().swapped, 1);

  game.setDrawing(true);
  game.runFrames(1);
  timing = game.sceneTimings().back();
  EXPECT_EQ(timing.uses, 5);
  EXPECT_GE(timing.longestSiteTexture, 0);
  EXPECT_LT(timing.longestSiteTexture, 5);
  EXPECT_GE(timing.sceneNs, timing.longestSiteNs);
  const auto drawn = game.draws(-1);
  EXPECT_EQ(drawn.size(), 5u);
  ASSERT_NE(drawOf(drawn, "fire"), nullptr);
  EXPECT_TRUE(drawOf(drawn, "fire")->swapped());

  // Unloaded while suspended: the module removes its own bytes, nothing puts them back later.
  game.suspendModuleCode(true);
  EXPECT_TRUE(game.unloadModule(swap));
  game.suspendModuleCode(false);
  EXPECT_TRUE(game.changedCode().empty());
}

TEST(StandinModules, TheUnloadReportNamesBytesAModuleLeftBehind) {
  StandinGame& game = standinGame();
  ASSERT_NE(game.loadModule(STANDIN_LEAKY_MODULE), nullptr);
  game.runFrames(1);
  auto report = game.unloadModules();  // also unloads standin_idle.asi from the command line
  EXPECT_EQ(GetModuleHandleA("standin_idle.asi"), nullptr);
  ASSERT_EQ(report.size(), 1u);
  EXPECT_EQ(report[0].address, Host::RasterSiteEax);
  EXPECT_EQ(report[0].original, game.pristineBytes(Host::RasterSiteEax, 5));
  ASSERT_EQ(report[0].now.size(), 5u);
  EXPECT_EQ(report[0].now[0], 0xE9);
  const auto lines = game.traceLines();
  EXPECT_NE(lines.back().find("{\"event\":\"unload\",\"changed\":[{\"address\":\"0x728320\",\"now\":\"E9"),
            std::string::npos)
      << lines.back();

  // The jump leads into a module that is gone: put the game back before anything runs it.
  const auto original = game.pristineBytes(Host::RasterSiteEax, 5);
  std::memcpy(reinterpret_cast<void*>(Host::RasterSiteEax), original.data(), original.size());
  FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
  game.runFrames(1);
  EXPECT_FALSE(drawOf(game.draws(-1), "fire")->swapped());
}

}  // namespace
