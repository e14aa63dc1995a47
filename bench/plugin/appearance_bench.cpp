// Whether the game pauses when an animation that was not preloaded first comes into view: the
// stand-in draws at 60 fps, the animation's texture joins the scene, and every texture site is
// timed from its call to the moment the game has its raster (what the module adds to that draw
// call). Sixty small animations fill the folder so that the module's own rule leaves the big
// one out of the preload. The big GIFs are made by the sample generator (bench/plugin/run.sh).
// Run: standin.exe --driver plugin_appearance_bench.dll --frame_time 16 -- (VELQUOR_ASI: the
// module, VELQUOR_APPEARANCE_GIFS: the folder of appear_*.gif)
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "game/standin_api.h"
#include "host/host.h"
#include "plugin/folder_listing.h"
#include "plugin/game_folder.h"
#include "plugin/test_gifs.h"

namespace {

constexpr int Fillers = 60;
constexpr int OtherTextures = 20;
constexpr ULONGLONG WatchMs = 4000;  // longer than a whole loop of either animation
constexpr double GoalMs = 2;

struct Big {
  const char* file;
  int width, height, frames;
};
const Big Bigs[] = {{"appear_256.gif", 256, 256, 60}, {"appear_1024.gif", 1024, 1024, 30}};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The folder's animations split by the module's own rule: decoded at start or at first use.
struct Listing {
  std::vector<std::string> preloaded, late;
};
Listing listing(const std::string& folder) {
  Listing names;
  PreloadBudget preload;
  listAnimationFolder(folder, [&](const ListedEntry& entry) {
    if (entry.kind != ListedKind::Animation) return;
    (preload.nextIsPreloaded() ? names.preloaded : names.late).push_back(entry.textureName);
    preload.made();
  });
  return names;
}

// Plain textures and one small animation: what comes once only (the module's first texture,
// the driver's first upload) is over before the big one comes into view.
std::vector<Standin::TextureSpec> otherTextures(const std::string& smallAnimation) {
  std::vector<Standin::TextureSpec> scene;
  char name[32];
  for (int i = 0; i < OtherTextures; ++i) {
    Standin::TextureSpec spec;
    std::snprintf(name, sizeof name, "plain%02d", i);
    spec.name = i == 0 ? smallAnimation : name;
    spec.site = Host::RasterSiteEax;
    scene.push_back(spec);
  }
  return scene;
}

TEST(Appearance, LongestDrawCallWhileAnAnimationFirstComesIntoView) {
  const char* module = std::getenv("VELQUOR_ASI");
  const char* gifs = std::getenv("VELQUOR_APPEARANCE_GIFS");
  ASSERT_NE(module, nullptr) << "set VELQUOR_ASI to the module's path";
  ASSERT_NE(gifs, nullptr) << "set VELQUOR_APPEARANCE_GIFS to the folder of appear_*.gif";
  StandinGame& game = standinGame();
  GameFolder folder;
  char name[32];
  for (int i = 0; i < Fillers; ++i) {
    std::snprintf(name, sizeof name, "filler%02d.gif", i);
    folder.gif(name, TestGifs::threeColours(8));
  }
  // Rewriting a file keeps its place in the listing: the big ones take places beyond the preload.
  const Listing listed = listing(std::string(AnimationFolder));
  const std::vector<std::string>& late = listed.late;
  ASSERT_GE(late.size(), std::size(Bigs));
  ASSERT_FALSE(listed.preloaded.empty());
  std::vector<std::string> bigNames;
  for (std::size_t i = 0; i < std::size(Bigs); ++i) {
    const std::string bytes = readFile(std::string(gifs) + "/" + Bigs[i].file);
    ASSERT_FALSE(bytes.empty()) << Bigs[i].file;
    folder.file(late[i] + ".gif", bytes);
    bigNames.push_back(late[i]);
  }

  game.setDrawing(true);
  game.setScene(otherTextures(listed.preloaded[0]));
  ASSERT_NE(game.loadModule(module), nullptr);
  game.runFrames(10);  // the catalogue is made, the hooks go in at the first draw
  const int steady = game.frameCount();
  game.runFrames(20);
  double gameOwnMs = 0;
  for (const auto& t : game.sceneTimings())
    if (t.frame >= steady) gameOwnMs = std::max(gameOwnMs, t.longestSiteNs / 1e6);

  std::printf("first appearance of an animation that was not preloaded (the game at 60 fps, %d other "
              "textures,\none of them animated; the slowest draw call before: %.3f ms):\n",
              OtherTextures, gameOwnMs);
  for (std::size_t i = 0; i < std::size(Bigs); ++i) {
    const Big& big = Bigs[i];
    auto scene = otherTextures(listed.preloaded[0]);
    Standin::TextureSpec spec;
    spec.name = bigNames[i];
    spec.width = big.width;
    spec.height = big.height;
    spec.site = Host::RasterSiteEax;
    scene.push_back(spec);
    game.setScene(scene);
    const int bigIndex = static_cast<int>(scene.size()) - 1;

    const int firstFrame = game.frameCount();
    const ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start < WatchMs) game.runFrames(1);
    const int frames = game.frameCount() - firstFrame;

    Standin::SceneTiming worst;
    for (const auto& t : game.sceneTimings())
      if (t.frame >= firstFrame && t.longestSiteNs > worst.longestSiteNs) worst = t;
    int shown = -1;
    for (const auto& d : game.draws())
      if (d.frame >= firstFrame && d.texture == spec.name && d.swapped()) {
        shown = d.frame - firstFrame;
        break;
      }
    const std::string where = worst.longestSiteTexture == bigIndex ? "its own" : "another texture's";
    std::printf("  %4dx%-4d %2d frames: longest draw call %9.3f ms (%s, frame %d of %d)   goal: none over %.0f ms\n",
                big.width, big.height, big.frames, worst.longestSiteNs / 1e6, where.c_str(),
                worst.frame - firstFrame, frames, GoalMs);
    if (shown < 0)
      std::printf("  %24s the animation never showed in %d ms\n", "", static_cast<int>(WatchMs));
    else
      std::printf("  %24s the animation showed from frame %d on\n", "", shown);
  }
  game.unloadModules();
}

}  // namespace
