// Whether the game pauses when an animation that was not preloaded first comes into view: the
// stand-in draws at 60 fps, the animation's texture joins the scene, and every texture site is
// timed from its call to the moment the game has its raster (what the module adds to that draw
// call). Sixty small animations fill the folder so that the module's own rule leaves the big
// one out of the preload. The big GIFs are made by the sample generator (bench/plugin/run.sh), the
// animated PNG of the same size here (4 bytes a decoded pixel instead of a GIF's 1).
// A second case shows where the time of a large frame's texture goes, made whole or in tiles.
// Two more, each in a game of its own (bench/plugin/run.sh picks them by name): the video memory
// held with four large animations in view, as the device counts it, and how soon a small
// animation shows its first frame when it comes into view together with five large ones.
// Run: standin.exe --driver plugin_appearance_bench.dll --frame_time 16 -- (VELQUOR_ASI: the
// module, VELQUOR_APPEARANCE_GIFS: the folder of appear_*.gif)
#include <gtest/gtest.h>

#include <windows.h>
#include <d3d9.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "game/standin_api.h"
#include "gif/frame_list.h"
#include "gif/frame_tiles.h"
#include "gif/memory_limits.h"
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

// Sixty small animations fill the folder, so that the module's own rule leaves the files written
// in place of the last ones out of the preload: those come into view not decoded yet.
class LateFolder {
 public:
  LateFolder() {
    char name[32];
    for (int i = 0; i < Fillers; ++i) {
      std::snprintf(name, sizeof name, "filler%02d.gif", i);
      folder_.gif(name, TestGifs::threeColours(8));
    }
    listed_ = listing(std::string(AnimationFolder));
  }
  // An animation decoded at start, for the scene before.
  const std::string& preloaded() const { return listed_.preloaded.at(0); }
  // The texture name of the `i`th file brought in late (rewriting a file keeps its place in the
  // listing).
  std::string late(std::size_t i, const std::string& bytes, const std::string& extension = ".gif") {
    folder_.file(listed_.late.at(i) + extension, bytes);
    return listed_.late[i];
  }

 private:
  GameFolder folder_;
  Listing listed_;
};

std::string appearanceGif(const char* file) {
  const char* gifs = std::getenv("VELQUOR_APPEARANCE_GIFS");
  return gifs == nullptr ? std::string() : readFile(std::string(gifs) + "/" + file);
}

// The game with the module loaded, drawing `scene` for a while before what is measured.
void startGame(StandinGame& game, const std::vector<Standin::TextureSpec>& scene) {
  const char* module = std::getenv("VELQUOR_ASI");
  ASSERT_NE(module, nullptr) << "set VELQUOR_ASI to the module's path";
  game.setDrawing(true);
  game.setScene(scene);
  ASSERT_NE(game.loadModule(module), nullptr);
  game.runFrames(10);  // the catalogue is made, the hooks go in at the first draw
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
  StandinGame& game = standinGame();
  LateFolder folder;
  std::vector<std::string> bigNames;
  for (std::size_t i = 0; i < std::size(Bigs); ++i) {
    const std::string bytes = Bigs[i].file ? appearanceGif(Bigs[i].file) : madeApng(Bigs[i]);
    ASSERT_FALSE(bytes.empty()) << (Bigs[i].file ? Bigs[i].file : "the animated PNG") << " in VELQUOR_APPEARANCE_GIFS";
    bigNames.push_back(folder.late(i, bytes, Bigs[i].file ? ".gif" : ".png"));
  }
  startGame(game, otherTextures(folder.preloaded()));
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
    auto scene = otherTextures(folder.preloaded());
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

Standin::TextureSpec drawnAt(const std::string& name, int width, int height) {
  Standin::TextureSpec spec;
  spec.name = name;
  spec.width = width;
  spec.height = height;
  spec.site = Host::RasterSiteEax;
  return spec;
}

double mib(double bytes) { return bytes / Limits::MiB; }

// Shows `scene` with the module's code taken out for a few frames: the game's own first draws of
// its new textures (uploads that take seconds under Wine) are over before the module sees them.
void warmUp(StandinGame& game, const std::vector<Standin::TextureSpec>& scene) {
  game.suspendModuleCode(true);
  game.setScene(scene);
  game.runFrames(3);
  game.suspendModuleCode(false);
}

// Four GIFs whose textures fit the budget one at a time, not together, drawn every game frame.
TEST(Appearance, TextureMemoryWithFourLargeAnimationsInView) {
  constexpr int Side = 1024, Frames = 40, Count = 4;
  // Filling all their textures takes 640 game frames at most (4 of each), beside their decoding.
  constexpr int WatchFrames = 800;
  constexpr ULONGLONG MostMs = 240'000;
  StandinGame& game = standinGame();
  LateFolder folder;
  std::vector<TestGifs::Frame> frames;
  for (int i = 0; i < Frames; ++i) frames.push_back({static_cast<std::uint8_t>(1 + i % 3), 10});
  const GifBytes gif = TestGifs::animated(Side, Side, frames);
  std::vector<std::string> names;
  for (int i = 0; i < Count; ++i) names.push_back(folder.late(i, std::string(gif.begin(), gif.end())));
  startGame(game, otherTextures(folder.preloaded()));
  IDirect3DDevice9* device = game.device();
  ASSERT_NE(device, nullptr);
  auto privateBytes = [] {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage);
  };

  // Counted from the moment the game has made its own textures of the scene, before the module
  // has seen it.
  auto scene = otherTextures(folder.preloaded());
  for (const auto& name : names) scene.push_back(drawnAt(name, Side, Side));
  warmUp(game, scene);
  const double freeBefore = device->GetAvailableTextureMem(), privateBefore = privateBytes();
  const int first = game.frameCount();
  double leastFree = freeBefore, mostPrivate = privateBefore;
  const ULONGLONG start = GetTickCount64();
  while (game.frameCount() - first < WatchFrames && GetTickCount64() - start < MostMs) {
    game.runFrames(1);
    leastFree = std::min<double>(leastFree, device->GetAvailableTextureMem());
    mostPrivate = std::max(mostPrivate, privateBytes());
  }
  int playing = 0;
  for (const auto& name : names) {
    std::set<std::uint32_t> shown;
    for (const auto& d : game.draws())
      if (d.frame >= first && d.texture == name && d.swapped()) shown.insert(d.d3dTexture);
    playing += shown.size() > 1;
  }
  const double staging = 4.0 * FrameTiles::StagingWidth * FrameTiles::StagingHeight;
  std::printf("four %d x %d GIFs of %d frames in view for %d game frames (%.0f s), %d of them animated:\n",
              Side, Side, Frames, game.frameCount() - first, (GetTickCount64() - start) / 1000.0, playing);
  std::printf("  texture memory held, by the device's count: %7.1f MiB   goal: at most %.1f MiB "
              "(the budget and the staging texture)\n",
              mib(freeBefore - leastFree), mib(Limits::TextureBudget + staging));
  std::printf("  the process's private memory grew by:       %7.1f MiB\n", mib(mostPrivate - privateBefore));
}

// A small animation comes into view with five large ones, all not decoded yet, the small one
// drawn last: the time from that game frame to the first of its own frames on screen.
TEST(Appearance, FirstFrameOfASmallAnimationBesideFiveLargeOnes) {
  constexpr int Large = 5;
  constexpr ULONGLONG Watch = 60'000;
  constexpr double GoalSeconds = 0.5;
  StandinGame& game = standinGame();
  LateFolder folder;
  const std::string large = appearanceGif(Bigs[1].file);
  ASSERT_FALSE(large.empty()) << Bigs[1].file << " in VELQUOR_APPEARANCE_GIFS";
  auto scene = otherTextures(folder.preloaded());
  startGame(game, scene);
  for (int i = 0; i < Large; ++i) scene.push_back(drawnAt(folder.late(i, large), Bigs[1].width, Bigs[1].height));
  std::vector<TestGifs::Frame> frames;
  for (int i = 0; i < 31; ++i) frames.push_back({static_cast<std::uint8_t>(1 + i % 3), 10});
  const GifBytes small = TestGifs::animated(32, 32, frames);
  scene.push_back(drawnAt(folder.late(Large, std::string(small.begin(), small.end())), 32, 32));
  game.runFrames(10);  // the files written just now are seen by the module as they were listed

  warmUp(game, scene);
  const int first = game.frameCount();
  std::vector<double> at;  // seconds since the scene came, at the end of each game frame
  const auto start = std::chrono::steady_clock::now();
  auto firstShown = [&](const std::string& name) {
    for (const auto& d : game.draws(game.frameCount() - 1))
      if (d.texture == name && d.swapped()) return at.back();
    return -1.0;
  };
  // Until the small one shows, and as long again for the large ones.
  double smallShown = -1, until = Watch / 1000.0;
  while (at.empty() || at.back() < until) {
    game.runFrames(1);
    at.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (smallShown < 0 && (smallShown = firstShown(scene.back().name)) >= 0) until = std::max(2 * smallShown, 2.0);
  }
  auto shownFrom = [&](const std::string& name) {
    for (const auto& d : game.draws())
      if (d.frame >= first && d.texture == name && d.swapped()) return at.at(d.frame - first);
    return -1.0;
  };
  std::printf("a 32 x 32 GIF of 31 frames and five %d x %d GIFs of %d frames come into view together,\n"
              "none decoded yet, the small one drawn last:\n", Bigs[1].width, Bigs[1].height, Bigs[1].frames);
  if (smallShown < 0)
    std::printf("  time to the small one's first frame: not shown in %d s   goal: under %.1f s\n",
                static_cast<int>(Watch / 1000), GoalSeconds);
  else
    std::printf("  time to the small one's first frame: %6.3f s (game frame %d)   goal: under %.1f s\n", smallShown,
                static_cast<int>(std::find(at.begin(), at.end(), smallShown) - at.begin()), GoalSeconds);
  std::printf("  the large ones' first frames, s:");
  for (int i = 0; i < Large; ++i) {
    const double shown = shownFrom(scene[scene.size() - 1 - Large + i].name);
    if (shown < 0) std::printf("  -");
    else std::printf("  %.3f", shown);
  }
  std::printf("   (- : not within %.0f s)\n", at.back());
}

}  // namespace
