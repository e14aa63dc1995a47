// Whether the game pauses when an animation that was not preloaded first comes into view: the
// stand-in draws at 60 fps, the animation's texture joins the scene, and every texture site is
// timed from its call to the moment the game has its raster (what the module adds to that draw
// call). Sixty small animations fill the folder so that the module's own rule leaves the big
// one out of the preload. The big GIFs are made by the sample generator (bench/plugin/run.sh), the
// animated PNG of the same size here (4 bytes a decoded pixel instead of a GIF's 1).
// A second case shows where the time of a large frame's texture goes, made whole or in tiles.
// Run: standin.exe --driver plugin_appearance_bench.dll --frame_time 16 -- (VELQUOR_ASI: the
// module, VELQUOR_APPEARANCE_GIFS: the folder of appear_*.gif)
#include <gtest/gtest.h>

#include <windows.h>
#include <d3d9.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "game/standin_api.h"
#include "gif/frame_list.h"
#include "gif/frame_tiles.h"
#include "gif/staging_texture.h"
#include "host/host.h"
#include "plugin/animation.h"
#include "plugin/folder_listing.h"
#include "plugin/game_folder.h"
#include "plugin/test_gifs.h"
#include "png/apng_writer.h"

namespace {

constexpr int Fillers = 60;
constexpr int OtherTextures = 20;
constexpr ULONGLONG WatchMs = 4000;  // longer than a whole loop of either animation
constexpr double GoalMs = 2;

struct Big {
  const char* file;  // in VELQUOR_APPEARANCE_GIFS; null: the animated PNG made here
  int width, height, frames;
};
const Big Bigs[] = {{"appear_256.gif", 256, 256, 60}, {"appear_1024.gif", 1024, 1024, 30}, {nullptr, 1024, 1024, 30}};

// Full-colour frames with partial alpha, each a little different, as an APNG.
std::string madeApng(const Big& big) {
  std::vector<VelquorPng::ApngFrame> frames(big.frames);
  for (int f = 0; f < big.frames; ++f) {
    frames[f].delayMs = 40;
    frames[f].argb.resize(std::size_t(big.width) * big.height);
    for (int y = 0; y < big.height; ++y)
      for (int x = 0; x < big.width; ++x)
        frames[f].argb[std::size_t(y) * big.width + x] = std::uint32_t(0x80 + (x + y) % 0x80) << 24 |
                                                        std::uint32_t((x + 8 * f) & 0xFF) << 16 |
                                                        std::uint32_t(y & 0xFF) << 8 | std::uint32_t((x ^ y) & 0xFF);
  }
  const auto bytes = VelquorPng::encodeApng(big.width, big.height, frames);
  return std::string(bytes.begin(), bytes.end());
}

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
    const std::string bytes = Bigs[i].file ? readFile(std::string(gifs) + "/" + Bigs[i].file) : madeApng(Bigs[i]);
    ASSERT_FALSE(bytes.empty()) << (Bigs[i].file ? Bigs[i].file : "the animated PNG");
    folder.file(late[i] + (Bigs[i].file ? ".gif" : ".png"), bytes);
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
    int framesOverGoal = 0;  // on a busy machine, a draw call the system set aside shows here too
    for (const auto& t : game.sceneTimings()) {
      if (t.frame < firstFrame) continue;
      if (t.longestSiteNs > worst.longestSiteNs) worst = t;
      framesOverGoal += t.longestSiteNs > GoalMs * 1e6;
    }
    int shown = -1;
    for (const auto& d : game.draws())
      if (d.frame >= firstFrame && d.texture == spec.name && d.swapped()) {
        shown = d.frame - firstFrame;
        break;
      }
    const std::string where = worst.longestSiteTexture == bigIndex ? "its own" : "another texture's";
    std::printf("  %-4s %4dx%-4d %2d frames: longest draw call %9.3f ms (%s, frame %d of %d)   goal: none over %.0f ms\n",
                big.file ? "GIF" : "APNG", big.width, big.height, big.frames, worst.longestSiteNs / 1e6, where.c_str(),
                worst.frame - firstFrame, frames, GoalMs);
    std::printf("  %29s game frames with a draw call over %.0f ms: %d of %d\n", "", GoalMs, framesOverGoal,
                frames);
    if (shown < 0)
      std::printf("  %29s the animation never showed in %d ms\n", "", static_cast<int>(WatchMs));
    else
      std::printf("  %29s the animation showed from frame %d on\n", "", shown);
  }
  game.unloadModules();
}

// Milliseconds of each call, for the median and the worst.
class Durations {
 public:
  template <typename Work>
  auto time(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    struct Stop {
      Durations& d;
      std::chrono::steady_clock::time_point start;
      ~Stop() {
        d.ms_.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      }
    } stop{*this, start};
    return work();
  }
  std::string text() {
    if (ms_.empty()) return "-";
    std::sort(ms_.begin(), ms_.end());
    const auto over = std::count_if(ms_.begin(), ms_.end(), [](double ms) { return ms > GoalMs; });
    char line[64];
    std::snprintf(line, sizeof line, "%.3f / %.3f (%d of %d over %.0f)", ms_[ms_.size() / 2], ms_.back(),
                  static_cast<int>(over), static_cast<int>(ms_.size()), GoalMs);
    return line;
  }

 private:
  std::vector<double> ms_;
};

// Each texture of a 1024 x 1024 GIF made on the game's device, one per game frame (so that the
// device has the game's work queued, as in play), with the time of each call.
TEST(Appearance, WhereTheTimeOfALargeFrameGoes) {
  const char* gifs = std::getenv("VELQUOR_APPEARANCE_GIFS");
  ASSERT_NE(gifs, nullptr) << "set VELQUOR_APPEARANCE_GIFS to the folder of appear_*.gif";
  StandinGame& game = standinGame();
  game.setDrawing(true);
  game.setScene(otherTextures("plain"));
  IDirect3DDevice9* device = game.device();
  ASSERT_NE(device, nullptr);
  const std::string path = std::string(gifs) + "\\" + Bigs[1].file;
  std::unique_ptr<FrameList> list = FrameList::load(path.c_str());
  game.runFrames(10);

  // Made whole: one dynamic texture, locked once.
  Durations create, lock, write, unlock;
  for (const auto& frame : list->frames) {
    game.runFrames(1);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(create.time([&] {
      return device->CreateTexture(frame->width, frame->height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8,
                                   D3DPOOL_DEFAULT, &texture, nullptr);
    }), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(lock.time([&] { return texture->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD); }), D3D_OK);
    write.time([&] { frame->writePixels(locked.pBits, locked.Pitch, false); });
    unlock.time([&] { return texture->UnlockRect(0); });
    texture->Release();
  }

  // In tiles, as the module fills them: the staging texture's first lock (once per device, in the
  // game's main loop), then a game frame's share of tiles per draw.
  Durations prepare, tile, share;
  StagingTexture staging;
  game.runFrames(1);
  ASSERT_TRUE(prepare.time([&] { return staging.prepare(device); }));
  int gameFrames = 0;
  for (const auto& frame : list->frames) {
    for (bool first = true; !frame->texture; first = false) {
      game.runFrames(1);
      ++gameFrames;
      std::uint64_t pixels = first ? 1 : Animation::TexturePixelsPerFrame;
      Durations& calls = first ? tile : share;
      ASSERT_EQ(calls.time([&] { return frame->fillTexture(device, staging, false, pixels); }), 0);
    }
    frame->releaseTexture();
  }
  staging.release();

  std::printf("where the time of a 1024 x 1024 frame's texture goes (%zu frames, one per game frame;\n"
              "milliseconds, median / worst):\n", list->frames.size());
  std::printf("  made whole:  CreateTexture %s\n               LockRect %s\n               writePixels %s\n"
              "               UnlockRect %s\n",
              create.text().c_str(), lock.text().c_str(), write.text().c_str(), unlock.text().c_str());
  std::printf("  in tiles:    one tile of %u K pixels, its texture made first: %s\n"
              "               a game frame's share, %llu K pixels: %s\n", FrameTiles::TilePixels / 1024,
              tile.text().c_str(), static_cast<unsigned long long>(Animation::TexturePixelsPerFrame / 1024),
              share.text().c_str());
  std::printf("               the staging texture's first lock, once per device in the main loop: %s\n"
              "               %d game frames for all\n", prepare.text().c_str(), gameFrames);
}

}  // namespace
