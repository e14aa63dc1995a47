// The cost of the module per game frame: the stand-in draws a scene of 2,000 texture uses, half
// of them animated, first without the module, then with Velquor.asi loaded into the running game.
// Run: standin.exe --driver plugin_frame_bench.dll -- <path of Velquor.asi>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "game/standin_api.h"
#include "host/host.h"
#include "plugin/game_folder.h"
#include "plugin/test_gifs.h"

namespace {

constexpr int Uses = 2000;
constexpr int AnimatedNames = 20;
constexpr int Frames = 20;

// Processor time of the whole game (every thread, the renderer's included): other work on a
// shared machine does not count, as it would in wall time.
double processMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return ((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

double msPerFrame(StandinGame& game) {
  game.runFrames(5);  // warm up
  const double start = processMs();
  game.runFrames(Frames);
  return (processMs() - start) / Frames;
}

TEST(FrameCost, WithAndWithoutTheModule) {
  const char* module = std::getenv("VELQUOR_ASI");
  ASSERT_NE(module, nullptr) << "set VELQUOR_ASI to the module's path";
  StandinGame& game = standinGame();
  GameFolder folder;
  const std::uint32_t sites[] = {Host::RasterSiteEbx, Host::RasterSiteEax, Host::RasterSiteEsi,
                                 Host::RasterSiteEdx, Host::TextureToRaster};
  std::vector<Standin::TextureSpec> scene;
  char name[32];
  for (int i = 0; i < AnimatedNames; ++i) {
    std::snprintf(name, sizeof name, "anim%02d", i);
    folder.gif(std::string(name) + ".gif", TestGifs::animated(64, 64, {{1, 5}, {2, 5}, {3, 5}}));
  }
  for (int i = 0; i < Uses; ++i) {
    Standin::TextureSpec spec;
    if (i % 2 == 0)
      std::snprintf(name, sizeof name, "anim%02d", (i / 2) % AnimatedNames);
    else
      std::snprintf(name, sizeof name, "plain%04d", i);
    spec.name = name;
    spec.site = sites[i % 5];
    spec.width = spec.height = 16;
    scene.push_back(spec);
  }
  game.setScene(scene);

  // Without, with, and without again: the emulator and a shared machine drift; the module's
  // figure is set against the mean of the two around it.
  game.runFrames(30);  // the emulator and Direct3D reach their steady state first
  const double before = msPerFrame(game);
  ASSERT_NE(game.loadModule(module), nullptr);
  game.runFrames(2);  // the module makes its catalogue and installs its hooks
  int swapped = 0;
  for (const auto& draw : game.draws(-1)) swapped += draw.swapped();
  const double with = msPerFrame(game);
  // The same scene with no name in the catalogue: every use passes the hooks and misses.
  auto missing = scene;
  for (auto& spec : missing)
    if (spec.name.rfind("anim", 0) == 0) spec.name.replace(0, 4, "miss");
  game.setScene(missing);
  const double withNoneAnimated = msPerFrame(game);
  game.setScene(scene);
  game.unloadModules();
  const double after = msPerFrame(game);
  const double without = (before + after) / 2;

  std::printf("frame cost (processor time of the game), %d texture uses (%d animated) per frame, "
              "%d frames each:\n", Uses,
              swapped, Frames);
  std::printf("  without the module: %8.3f ms per frame (%.3f before loading it, %.3f after "
              "unloading it)\n", without, before, after);
  std::printf("  with Velquor.asi:   %8.3f ms per frame  (%+.1f%%)\n", with,
              100.0 * (with - without) / without);
  std::printf("  with Velquor.asi, no name animated: %8.3f ms per frame  (%+.1f%%)\n",
              withNoneAnimated, 100.0 * (withNoneAnimated - without) / without);
  std::printf("  added per texture use: %.0f ns; by the hooks alone (no name animated): %.0f ns\n",
              (with - without) * 1e6 / Uses, (withNoneAnimated - without) * 1e6 / Uses);
  EXPECT_EQ(swapped, Uses / 2);
}

}  // namespace
