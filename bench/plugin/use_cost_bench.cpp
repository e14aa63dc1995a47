// What Velquor.asi adds to every texture use of the game, all included: hooks, name lookup,
// playback, proxy and the per-frame work at the draw point. The stand-in runs its scene routine
// without drawing (2,000 texture uses through the five sites), timed with the performance
// counter, and switches frame by frame between the module's code and the game's own
// (suspendModuleCode): both are measured in the same run, on the same records, interleaved, so
// drift and a shared machine's noise fall on both alike. Each animated name serves 100 records,
// so an animation's proxy is refreshed from another raster at every use: the dearest case.
// Run: standin.exe --driver plugin_use_cost_bench.dll --draw off -- (VELQUOR_ASI: the module)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "game/standin_api.h"
#include "host/host.h"
#include "plugin/game_folder.h"
#include "plugin/test_gifs.h"

namespace {

constexpr int Uses = 2000;
constexpr int AnimatedNames = 20;
constexpr int Rounds = 40;
constexpr int FramesPerPhase = 4;           // after one frame that settles the switch
constexpr double FrameNs = 1e9 / 60;        // a frame at 60 fps
constexpr double GoalNsPerUse = 100;

enum Phase { Without, Animated, NotCatalogued, PhaseCount };
const char* const PhaseNames[PhaseCount] = {"without the module", "animated names",
                                            "names not in the catalogue"};

// The game reuses texture records: the phases rename the same records.
void nameRecords(const std::vector<std::uint8_t*>& records, const char* format) {
  char name[Host::TextureNameSize] = {};
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::memset(name, 0, sizeof name);
    std::snprintf(name, sizeof name, format, static_cast<int>(i % AnimatedNames));
    std::memcpy(records[i] + Host::TextureNameOffset, name, sizeof name);
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[static_cast<std::size_t>(q * (values.size() - 1))];
}

TEST(UseCost, AddedNanosecondsPerTextureUse) {
  const char* module = std::getenv("VELQUOR_ASI");
  ASSERT_NE(module, nullptr) << "set VELQUOR_ASI to the module's path";
  StandinGame& game = standinGame();
  GameFolder folder;
  char name[Host::TextureNameSize];
  for (int i = 0; i < AnimatedNames; ++i) {
    std::snprintf(name, sizeof name, "anim%02d", i);
    folder.gif(std::string(name) + ".gif", TestGifs::animated(16, 16, {{1, 5}, {2, 5}, {3, 5}}));
  }
  const std::uint32_t sites[] = {Host::RasterSiteEbx, Host::RasterSiteEax, Host::RasterSiteEsi,
                                 Host::RasterSiteEdx, Host::TextureToRaster};
  std::vector<Standin::TextureSpec> scene;
  for (int i = 0; i < Uses; ++i) {
    Standin::TextureSpec spec;
    std::snprintf(name, sizeof name, "use%04d", i);
    spec.name = name;
    spec.site = sites[i % 5];
    spec.width = spec.height = 16;
    scene.push_back(spec);
  }
  game.setDrawing(false);
  game.setScene(scene);
  std::vector<std::uint8_t*> records;
  for (const auto& spec : scene) records.push_back(static_cast<std::uint8_t*>(game.textureRecord(spec.name)));

  ASSERT_NE(game.loadModule(module), nullptr);
  game.runFrames(30);  // the catalogue is made, the hooks go in at the first draw, code warms up

  // Per round, each phase's fastest frame; the added cost is taken round by round against the
  // frames without the module of the same round. Phases rotate so none always comes first.
  std::vector<double> sceneNs[PhaseCount], addedNs[PhaseCount];
  int wrongSwaps = 0;
  for (int round = 0; round < Rounds; ++round) {
    // A frame's scene can only take longer for what else the machine does: each phase's
    // fastest frame of the round stands for it.
    double roundNs[PhaseCount] = {};
    for (int k = 0; k < PhaseCount; ++k) {
      const Phase phase = static_cast<Phase>((round + k) % PhaseCount);
      nameRecords(records, phase == NotCatalogued ? "miss%02d" : "anim%02d");
      game.suspendModuleCode(phase == Without);
      game.runFrames(1 + FramesPerPhase);
      const auto timings = game.sceneTimings();
      roundNs[phase] = timings.back().sceneNs;
      for (auto t = timings.end() - FramesPerPhase; t != timings.end(); ++t) {
        roundNs[phase] = std::min(roundNs[phase], t->sceneNs);
        sceneNs[phase].push_back(t->sceneNs);
        wrongSwaps += t->swapped != (phase == Animated ? Uses : 0);
      }
    }
    for (int p = Animated; p < PhaseCount; ++p) addedNs[p].push_back((roundNs[p] - roundNs[Without]) / Uses);
  }
  game.suspendModuleCode(false);
  game.unloadModules();

  std::printf("texture use cost, %d uses per frame through the five sites (no drawing), %d rounds of\n"
              "%d frames per case, the module's code and the game's own interleaved:\n",
              Uses, Rounds, FramesPerPhase);
  std::printf("  the stand-in's own site pass: %6.1f ns per use (median frame %.1f us)\n",
              median(sceneNs[Without]) / Uses, median(sceneNs[Without]) / 1e3);
  for (int p = Animated; p < PhaseCount; ++p) {
    const double added = median(addedNs[p]);
    const double share = 100.0 * added * Uses / FrameNs;
    std::printf("  %-27s %6.1f ns per use added (rounds: %.1f..%.1f)   goal: under %.0f ns\n",
                PhaseNames[p], added, quantile(addedNs[p], 0.1), quantile(addedNs[p], 0.9),
                GoalNsPerUse);
    std::printf("  %-27s %6.2f%% of a 60 fps frame for %d uses      goal: under %.1f%%\n", "",
                share, Uses, 100.0 * GoalNsPerUse * Uses / FrameNs);
  }
  EXPECT_EQ(wrongSwaps, 0) << "frames whose swapped uses were not all (animated) or none";
}

}  // namespace
