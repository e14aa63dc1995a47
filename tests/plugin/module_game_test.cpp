// The real Velquor.asi inside the stand-in game: what the game draws with, in the trace and in
// real pixels, compared with the GIF's own composed frames. Each case runs in a game of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numeric>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "game/standin_api.h"
#include "gif/frame_list.h"
#include "host/host.h"
#include "plugin/awkward_folders.h"
#include "plugin/game_folder.h"
#include "plugin/module_scene.h"
#include "plugin/test_gifs.h"
#include "png/apng_writer.h"

namespace {

using Standin::DrawRecord;
using Standin::TextureSpec;

StandinGame& game() { return standinGame(); }

const std::uint32_t allSites[] = {Host::RasterSiteEbx, Host::RasterSiteEax, Host::RasterSiteEsi,
                                  Host::RasterSiteEdx, Host::TextureToRaster};

// The only game code that may stay changed: the main-loop call site.
bool insideMainLoopCall(const Standin::ChangedBytes& change) {
  const bool inside = change.address >= Host::MainLoopCall &&
                      change.address + change.now.size() <= Host::MainLoopCall + Host::MainLoopCallSize;
  if (!inside) ADD_FAILURE() << std::hex << "game code changed at 0x" << change.address;
  return inside;
}

// What one texture was drawn with, frame after frame, with the time around each frame.
struct Observed {
  std::vector<std::uint32_t> texture;
  std::vector<double> beforeMs, afterMs;
};

// Runs at least `frames` game frames and for at least `minMs` of real time: the module plays by
// the clock, so how many frames that takes depends on how fast this machine runs the game.
std::map<std::string, Observed> observe(const std::vector<std::string>& names, int frames, double minMs) {
  std::map<std::string, Observed> seen;
  auto ms = [] {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
  };
  const double start = ms();
  for (int i = 0; i < 20000 && (i < frames || ms() - start < minMs); ++i) {
    const double before = ms();
    game().runFrames(1);
    const double after = ms();
    const auto draws = game().draws(-1);
    for (const auto& name : names) {
      const DrawRecord* draw = drawOf(draws, name);
      Observed& o = seen[name];
      o.texture.push_back(draw ? draw->d3dTexture : 0);
      o.beforeMs.push_back(before);
      o.afterMs.push_back(after);
    }
  }
  return seen;
}

// Checks that the textures follow the GIF's frames in order, each shown at least its delay.
void checkPlayback(const Observed& o, const std::vector<int>& delaysMs) {
  std::vector<std::uint32_t> order;  // first appearances are frames 0, 1, 2, ...
  std::vector<int> shown;
  for (auto texture : o.texture) {
    auto it = std::find(order.begin(), order.end(), texture);
    if (it == order.end()) it = order.insert(order.end(), texture);
    shown.push_back(static_cast<int>(it - order.begin()));
  }
  EXPECT_EQ(order.size(), delaysMs.size()) << "distinct textures drawn";
  std::size_t runStart = 0;
  for (std::size_t i = 1; i < shown.size(); ++i) {
    if (shown[i] == shown[i - 1]) continue;
    const int from = shown[i - 1], to = shown[i];
    const int count = static_cast<int>(delaysMs.size());
    // One frame further, or back to the start after a pause longer than the whole animation.
    EXPECT_TRUE(to == (from + 1) % count || to == 0) << from << " -> " << to << " at " << i;
    if (to == (from + 1) % count && runStart > 0) {
      // The module counts whole milliseconds: a frame may end up to one millisecond early.
      EXPECT_GE(o.afterMs[i] - o.beforeMs[runStart], delaysMs[from] - 1)
          << "frame " << from << " shown from game frame " << runStart << " to " << i;
    }
    runStart = i;
  }
}

std::uint32_t expectedColour(const std::string& gifPath, int frame, bool keepBackground) {
  auto frames = FrameList::load(gifPath.c_str());
  return frames->frames.at(frame)->pixel(0, 0, keepBackground);
}

// Real pixels: each cell shows the colour of the GIF frame its texture belongs to (textures
// first seen in `seen` in the order of the frames).
Standin::Capture expectCellsShowTheirFrames(GameFolder& folder, const std::vector<std::string>& names,
                                            const std::map<std::string, Observed>& seen) {
  std::map<std::string, std::vector<std::uint32_t>> textureOrder;
  for (const auto& name : names)
    for (auto t : seen.at(name).texture)
      if (std::find(textureOrder[name].begin(), textureOrder[name].end(), t) ==
          textureOrder[name].end())
        textureOrder[name].push_back(t);
  const auto capture = game().captureFrame();
  EXPECT_GT(capture.width, 0);
  if (capture.width == 0) return capture;
  const auto draws = game().draws(-1);
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    const DrawRecord* draw = drawOf(draws, name);
    EXPECT_NE(draw, nullptr);
    if (draw == nullptr) continue;
    EXPECT_TRUE(draw->swapped());
    const auto& order = textureOrder[name];
    const auto k = std::find(order.begin(), order.end(), draw->d3dTexture) - order.begin();
    EXPECT_LT(k, 3);
    if (k >= 3) continue;
    const auto cell = game().cellCentre(name);
    const auto want = expectedColour(folder.path(name + ".gif"), static_cast<int>(k), false);
    EXPECT_TRUE(closeColours(capture.at(cell.x, cell.y), want))
        << name << std::hex << ": got " << capture.at(cell.x, cell.y) << ", want " << want;
  }
  return capture;
}

// Runs frames until `name` is drawn with an animation's raster; false if that has not happened
// after `limitMs` of real time.
bool runUntilSwapped(const std::string& name, double limitMs) {
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() < limitMs) {
    game().runFrames(1);
    const DrawRecord* draw = drawOf(game().draws(-1), name);
    if (draw != nullptr && draw->swapped()) return true;
  }
  return false;
}

// The GIF frame each captured game frame shows in `name`'s cell (by colour; -1 for a colour of
// none of its frames), for at least `minMs` of real time.
std::vector<int> framesShown(GameFolder& folder, const std::string& name, int frameCount, double minMs) {
  std::vector<std::uint32_t> colours;
  for (int k = 0; k < frameCount; ++k) colours.push_back(expectedColour(folder.path(name + ".gif"), k, false));
  std::vector<int> shown;
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() < minMs) {
    const auto capture = game().captureFrame();
    const auto cell = game().cellCentre(name);
    const auto got = capture.at(cell.x, cell.y);
    int frame = -1;
    for (int k = 0; k < frameCount; ++k)
      if (closeColours(got, colours[k])) frame = k;
    shown.push_back(frame);
  }
  return shown;
}

// Every captured frame shows a frame of the GIF, one after the other, all of them.
void expectPlaysInOrder(const std::vector<int>& shown, int frameCount) {
  std::set<int> seen(shown.begin(), shown.end());
  EXPECT_EQ(seen.count(-1), 0u) << "a colour of no frame of the GIF";
  EXPECT_EQ(static_cast<int>(seen.size()), frameCount);
  for (std::size_t i = 1; i < shown.size(); ++i)
    if (shown[i] != shown[i - 1]) {
      EXPECT_EQ(shown[i], (shown[i - 1] + 1) % frameCount) << "at " << i;
    }
}

// Sixty small GIFs: more than are decoded at start. Their names in the order the folder lists them.
std::vector<std::string> sixtySmallGifs(GameFolder& folder) {
  char name[32];
  for (int i = 0; i < 60; ++i) {
    std::snprintf(name, sizeof name, "anim%02d.gif", i);
    folder.gif(name, TestGifs::threeColours(4));
  }
  return folder.listed();
}

// A frame of the game under emulation can take a second or two: the delays are longer still.
const std::vector<int> sharedDelays = {1500, 2500, 3500};

// A GIF with the background colour (black) in the middle of a red frame.
GifBytes redWithBackgroundInside() {
  GifImage image = TestGifs::solid(16, 16, 1);
  for (int y = 4; y < 12; ++y)
    for (int x = 4; x < 12; ++x) image.indices[y * 16 + x] = 0;
  GifWriter writer({16, 16, TestGifs::palette()});
  return writer.graphicControl({50}).image(image).trailer().bytes();
}

// Half-transparent red, green and blue: the PNG's frames.
const std::vector<std::uint32_t> GlassColours = {0x80FF0000, 0x8000FF00, 0x800000FF};

// A 16 x 16 APNG of one colour a frame, `delayMs` each, as the folder's file bytes.
std::string pngBytes(const std::vector<std::uint32_t>& colours, std::uint16_t delayMs) {
  std::vector<VelquorPng::ApngFrame> frames;
  for (std::uint32_t colour : colours) frames.push_back({std::vector<std::uint32_t>(16 * 16, colour), delayMs});
  const auto bytes = VelquorPng::encodeApng(16, 16, frames);
  return std::string(bytes.begin(), bytes.end());
}

// The cases that share one game (and one catalogue, made at its first frame) find every file
// any of them needs already there.
GameFolder& sharedFolder() {
  static GameFolder* folder = [] {
    auto* made = new GameFolder;
    const auto gif = TestGifs::animated(8, 8, {{1, 150}, {2, 250}, {3, 350}});
    for (const char* name : {"water", "fire", "grass", "smoke", "sky"})
      made->gif(std::string(name) + ".gif", gif);
    made->gif("Fire2.GIF");
    made->gif("sub/cloud.gif");
    made->gif("a.b.gif");
    const auto withBackground = redWithBackgroundInside();
    made->gif("clear.gif", withBackground);
    made->file("clear.cfg", "background=0\noverride=1\nnumber_color_palette=5\nalpha=1\n");
    made->gif("kept.gif", withBackground);
    made->file("kept.cfg", "background=1\noverride=1\nalpha=1\n");
    made->gif("plain.gif", withBackground);
    made->file("plain.cfg", "background=0\noverride=0\nnumber_color_palette=5\nalpha=1\n");
    for (std::uint8_t method : {2, 3}) {
      const auto gif = TestGifs::disposingLeftHalf(method, 30);
      made->gif("trails" + std::to_string(method) + ".gif", gif);
      made->gif("clean" + std::to_string(method) + ".gif", gif);
      made->file("clean" + std::to_string(method) + ".cfg", "background=0\noverride=0\ndisposal=1\n");
    }
    // No NETSCAPE extension: a browser plays it once.
    const auto once = TestGifs::animated(16, 16, {{1, 30}, {2, 30}, {3, 30}});
    made->gif("once.gif", once);
    made->file("once.cfg", "background=0\noverride=0\nloop=1\n");
    made->gif("repeat.gif", once);
    // Animated PNGs: half-transparent frames, blended unless the settings say otherwise; a PNG
    // beside a GIF of the same name plays instead of it.
    const auto glass = pngBytes(GlassColours, 300);
    made->file("glass.png", glass);
    made->file("opaque.png", glass);
    made->file("opaque.cfg", "background=1\noverride=1\nalpha=0\nnumber_color_palette=5\n");
    made->gif("both.gif", gif);
    made->file("both.png", pngBytes({0xFF808080}, 100));
    return made;
  }();
  return *folder;
}

TEST(Module, EverySiteShowsTheAnimationFrameByFrame) {
  GameFolder& folder = sharedFolder();
  const auto& delays = sharedDelays;
  const std::vector<std::string> names = {"water", "fire", "grass", "smoke", "sky"};
  std::vector<TextureSpec> scene;
  for (std::size_t i = 0; i < names.size(); ++i) scene.push_back(texture(names[i], allSites[i]));
  scene.push_back(texture("Fire", Host::RasterSiteEax));   // differs in letter case only
  scene.push_back(texture("stone", Host::RasterSiteEbx));  // not in the folder
  game().setScene(scene);

  // Loaded, nothing hooked yet but the main loop.
  for (const auto& change : game().changedCode()) EXPECT_TRUE(insideMainLoopCall(change));

  // Long enough to see every frame and the wrap back to the first.
  const double wholeLoop = std::accumulate(delays.begin(), delays.end(), 0.0);
  const auto seen = observe({"water", "fire", "grass", "smoke", "sky", "Fire", "stone"}, 40, wholeLoop + 1000);
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    checkPlayback(seen.at(name), delays);
  }
  for (const char* own : {"Fire", "stone"}) {
    const DrawRecord* draw = drawOf(game().draws(-1), own);
    ASSERT_NE(draw, nullptr);
    EXPECT_FALSE(draw->swapped()) << own;
    EXPECT_EQ(draw->d3dTexture, draw->ownD3dTexture) << own;
  }

  const auto capture = expectCellsShowTheirFrames(folder, names, seen);
  ASSERT_GT(capture.width, 0);
  const auto own = game().cellCentre("stone");
  EXPECT_TRUE(closeColours(capture.at(own.x, own.y), 0xFFFFFF00));
}

TEST(Module, FolderRulesDecideWhatIsAnimated) {
  sharedFolder();
  game().setScene({texture("fire", Host::RasterSiteEax), texture("Fire2", Host::RasterSiteEax),
                   texture("cloud", Host::RasterSiteEax), texture("a.b", Host::RasterSiteEax)});
  game().runFrames(3);
  // A trim pass of an earlier case may have unloaded what it never drew: decoded again off the
  // game's thread, it comes some frames later.
  for (const char* name : {"fire", "a.b"}) EXPECT_TRUE(runUntilSwapped(name, 10'000)) << name;
  const auto draws = game().draws(-1);
  for (const auto& [name, animated] :
       std::vector<std::pair<std::string, bool>>{{"fire", true}, {"Fire2", false},
                                                 {"cloud", false}, {"a.b", true}}) {
    const DrawRecord* draw = drawOf(draws, name);
    ASSERT_NE(draw, nullptr) << name;
    EXPECT_EQ(draw->swapped(), animated) << name;
  }
  EXPECT_TRUE(game().messageBoxes().empty());
}

TEST(Module, CorruptFilesAreReportedOnceEach) {
  GameFolder folder;
  const auto listed = sixtySmallGifs(folder);
  const std::string early = listed.at(7), late = listed.at(57), good = listed.at(55);
  folder.gif(early + ".gif", TestGifs::corrupt());
  folder.gif(late + ".gif", TestGifs::corrupt());
  game().setScene({texture(good, Host::RasterSiteEax), texture(late, Host::RasterSiteEbx),
                   texture(early, Host::RasterSiteEsi)});

  game().runFrames(1);
  game().runFrames(10);
  // The late file is decoded off the game's thread: its box comes a few frames later.
  for (int i = 0; i < 2000 && game().messageBoxes().size() < 2; ++i) game().runFrames(1);
  game().runFrames(10);
  const auto boxes = game().messageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Can't load animation " + early);
  EXPECT_EQ(boxes[0].text, "GIF file is corrupt!");
  EXPECT_EQ(boxes[1].caption, "Can't load animation " + late);
  EXPECT_EQ(boxes[1].text, "GIF file is corrupt!");

  const auto draws = game().draws(-1);
  EXPECT_TRUE(drawOf(draws, good)->swapped());
  EXPECT_FALSE(drawOf(draws, late)->swapped());
  EXPECT_FALSE(drawOf(draws, early)->swapped());
  EXPECT_EQ(drawOf(draws, late)->d3dTexture, drawOf(draws, late)->ownD3dTexture);
}

// Run in a game of its own: sixty files, so that two are decoded only when first drawn.
TEST(Module, LateAnimationsComeWithoutPause) {
  GameFolder folder;
  const auto listed = sixtySmallGifs(folder);
  const std::string late = listed.at(55), later = listed.at(58), big = listed.at(57);
  const auto gif = TestGifs::animated(8, 8, {{1, 150}, {2, 250}, {3, 350}});
  folder.gif(late + ".gif", gif);
  folder.gif(later + ".gif", gif);
  // 40 MiB of frames: still being decoded when the module goes, a moment after its first draw.
  folder.gif(big + ".gif", TestGifs::animated(1024, 1024, std::vector<TestGifs::Frame>(40, {1, 10})));
  game().runFrames(3);  // the catalogue is made, the hooks go in

  // Its first draw starts the decoding and keeps the game's own texture.
  game().setScene({texture(late, Host::RasterSiteEax)});
  game().runFrames(1);
  const DrawRecord* first = drawOf(game().draws(-1), late);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->swapped());
  EXPECT_EQ(first->d3dTexture, first->ownD3dTexture);
  // Then it plays, frame by frame, with the GIF's pixels.
  ASSERT_TRUE(runUntilSwapped(late, 10'000));
  const double wholeLoop = std::accumulate(sharedDelays.begin(), sharedDelays.end(), 0.0);
  expectPlaysInOrder(framesShown(folder, late, 3, wholeLoop + 1000), 3);

  // A reset while the newcomer has the texture of its first frame only.
  game().setScene({texture(late, Host::RasterSiteEax), texture(later, Host::RasterSiteEbx)});
  ASSERT_TRUE(runUntilSwapped(later, 10'000));
  EXPECT_EQ(game().resetDevice(), 0);  // fails while any default-pool texture lives
  expectPlaysInOrder(framesShown(folder, later, 3, wholeLoop + 1000), 3);
  EXPECT_TRUE(game().messageBoxes().empty());

  // Unloaded while a file is being decoded: the decoder finishes it and its thread ends without
  // the module's code, and the game goes on.
  game().setScene({texture(big, Host::RasterSiteEax)});
  game().runFrames(1);
  for (const auto& change : game().unloadModules()) EXPECT_TRUE(insideMainLoopCall(change));
  game().runFrames(5);
  EXPECT_FALSE(drawOf(game().draws(-1), big)->swapped());
}

TEST(Module, SettingsReachTheRasterAndThePixels) {
  sharedFolder();
  game().setScene({texture("clear", Host::RasterSiteEax, false, true),
                   texture("kept", Host::RasterSiteEax, false, true),
                   texture("plain", Host::RasterSiteEax, false, true)});
  game().runFrames(2);
  // Unloaded by a trim pass of an earlier case: decoded again, they come some frames later.
  for (const char* name : {"clear", "kept", "plain"}) EXPECT_TRUE(runUntilSwapped(name, 10'000)) << name;

  const auto draws = game().draws(-1);
  const DrawRecord* clear = drawOf(draws, "clear");
  const DrawRecord* kept = drawOf(draws, "kept");
  const DrawRecord* plain = drawOf(draws, "plain");
  EXPECT_EQ(clear->paletteIndex, 5);
  EXPECT_TRUE(clear->alphaFlag);
  EXPECT_NE(clear->palette, 0u);
  EXPECT_TRUE(kept->alphaFlag);
  EXPECT_FALSE(plain->alphaFlag);
  EXPECT_NE(plain->paletteIndex, 5);

  const auto capture = game().captureFrame();
  ASSERT_GT(capture.width, 0);
  const auto backdrop = capture.at(capture.width - 1, capture.height - 1);
  const auto clearCell = game().cellCentre("clear");
  const auto keptCell = game().cellCentre("kept");
  // The middle of the quad is the GIF's background colour: see-through, or black when kept.
  EXPECT_TRUE(closeColours(capture.at(clearCell.x, clearCell.y), backdrop))
      << std::hex << capture.at(clearCell.x, clearCell.y) << " vs " << backdrop;
  EXPECT_TRUE(closeColours(capture.at(keptCell.x, keptCell.y), 0xFF000000))
      << std::hex << capture.at(keptCell.x, keptCell.y);
  EXPECT_TRUE(closeColours(capture.at(clearCell.x - 30, clearCell.y - 30), 0xFFFF0000))
      << std::hex << capture.at(clearCell.x - 30, clearCell.y - 30);
}

// An animated PNG with partial alpha on a game texture without alpha: its raster gets the alpha
// flag and the game blends it over the backdrop, frame after frame; with override alpha=0 it is
// drawn opaque, and the settings that do not apply are logged. Beside a GIF, the PNG plays.
TEST(Module, AnimatedPngIsBlendedAndWinsOverItsGif) {
  GameFolder& folder = sharedFolder();
  const std::vector<std::string> names = {"glass", "opaque", "both"};
  std::vector<TextureSpec> scene;
  for (const auto& name : names) scene.push_back(texture(name, Host::RasterSiteEax));
  game().setScene(scene);
  for (const auto& name : names) ASSERT_TRUE(runUntilSwapped(name, 10'000)) << name;
  const auto draws = game().draws(-1);
  EXPECT_TRUE(drawOf(draws, "glass")->alphaFlag);
  EXPECT_FALSE(drawOf(draws, "opaque")->alphaFlag);
  EXPECT_FALSE(drawOf(draws, "both")->alphaFlag);

  // Which frame each capture shows: blended (glass), opaque (opaque); -1 for anything else.
  std::set<int> blended, opaque;
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(3 * 300 + 1500)) {
    const auto capture = game().captureFrame();
    ASSERT_GT(capture.width, 0);
    const std::uint32_t backdrop = capture.at(capture.width - 1, capture.height - 1);
    auto frameOf = [&](const std::string& name, bool blend) {
      const auto cell = game().cellCentre(name);
      const std::uint32_t got = capture.at(cell.x, cell.y);
      for (int f = 0; f < 3; ++f) {
        std::uint32_t want = 0xFF000000;
        for (int shift = 0; shift < 24; shift += 8) {
          const std::uint32_t src = GlassColours[f] >> shift & 0xFF, under = backdrop >> shift & 0xFF;
          want |= (blend ? (src * 0x80 + under * 0x7F + 127) / 255 : src) << shift;
        }
        if (closeColours(got, want)) return f;
      }
      ADD_FAILURE() << name << std::hex << ": " << got << " over " << backdrop;
      return -1;
    };
    blended.insert(frameOf("glass", true));
    opaque.insert(frameOf("opaque", false));
    const auto both = game().cellCentre("both");
    EXPECT_TRUE(closeColours(capture.at(both.x, both.y), 0xFF808080)) << std::hex << capture.at(both.x, both.y);
  }
  EXPECT_EQ(blended, (std::set<int>{0, 1, 2}));
  EXPECT_EQ(opaque, (std::set<int>{0, 1, 2}));
  const std::string log = folder.log();
  EXPECT_NE(log.find("skipped both.gif: both.png has the same texture name"), std::string::npos) << log;
  EXPECT_NE(log.find("opaque.cfg: background=1 does not apply to"), std::string::npos) << log;
  EXPECT_NE(log.find("opaque.cfg: number_color_palette does not apply to"), std::string::npos) << log;
  EXPECT_TRUE(game().messageBoxes().empty());
}

TEST(Module, DeviceResetKeepsPlaying) {
  sharedFolder();
  game().setScene({texture("fire", Host::RasterSiteEax)});
  game().runFrames(3);
  ASSERT_TRUE(drawOf(game().draws(-1), "fire")->swapped());

  EXPECT_EQ(game().resetDevice(), 0);
  // New textures, and playback goes on through them: watched longer than the longest frame,
  // whichever frame the reset came in.
  const auto seen =
      observe({"fire"}, 25, *std::max_element(sharedDelays.begin(), sharedDelays.end()) + 1000);
  const auto& textures = seen.at("fire").texture;
  for (auto t : textures) EXPECT_NE(t, 0u);
  EXPECT_GE(std::set<std::uint32_t>(textures.begin(), textures.end()).size(), 2u);
  EXPECT_EQ(game().resetDevice(), 0);  // and again, after playing on the new textures
  game().runFrames(2);
  EXPECT_TRUE(drawOf(game().draws(-1), "fire")->swapped());
}

// What the captured back buffer shows at a point: the letter of the test GIFs' colour there, or
// '-' for the backdrop (a transparent pixel), '?' for anything else.
char colourLetter(const Standin::Capture& capture, int x, int y) {
  const std::uint32_t got = capture.at(x, y);
  const std::pair<std::uint32_t, char> known[] = {{0xFFFF0000, 'R'}, {0xFF00FF00, 'G'}, {0xFF0000FF, 'B'},
                                                  {capture.at(capture.width - 1, capture.height - 1), '-'}};
  for (const auto& [colour, letter] : known)
    if (closeColours(got, colour)) return letter;
  return '?';
}

// The left and right halves of each texture's quad (64 x 64 about its cell's centre), as letters,
// in every game frame for at least `minMs` of real time.
std::map<std::string, std::vector<std::string>> halvesShown(const std::vector<std::string>& names, double minMs) {
  std::map<std::string, std::vector<std::string>> shown;
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() < minMs) {
    const auto capture = game().captureFrame();
    if (capture.width == 0) break;
    for (const auto& name : names) {
      const auto cell = game().cellCentre(name);
      shown[name].push_back({colourLetter(capture, cell.x - 16, cell.y), colourLetter(capture, cell.x + 16, cell.y)});
    }
  }
  return shown;
}

// Each run of equal entries once: the pictures in the order they came.
std::vector<std::string> runs(const std::vector<std::string>& shown) {
  std::vector<std::string> out;
  for (const auto& picture : shown)
    if (out.empty() || out.back() != picture) out.push_back(picture);
  return out;
}

// Red all over, green on the left, then blue on the right: with disposal=1 the green image gives
// its half back (method 2: the background, transparent; method 3: the red before it); without
// the key the green stays, as it always did.
TEST(Module, DisposalMethodsOnRequest) {
  sharedFolder();
  const std::vector<std::string> names = {"trails2", "clean2", "trails3", "clean3"};
  std::vector<TextureSpec> scene;
  // Alpha-blended quads: a transparent pixel shows the backdrop.
  for (const auto& name : names) scene.push_back(texture(name, Host::RasterSiteEax, true));
  game().setScene(scene);
  for (const auto& name : names) ASSERT_TRUE(runUntilSwapped(name, 10'000)) << name;

  const auto shown = halvesShown(names, 2 * 900 + 1000);
  const std::map<std::string, std::set<std::string>> expected = {{"trails2", {"RR", "GR", "GB"}},
                                                                 {"clean2", {"RR", "GR", "-B"}},
                                                                 {"trails3", {"RR", "GR", "GB"}},
                                                                 {"clean3", {"RR", "GR", "RB"}}};
  for (const auto& name : names) {
    const auto& pictures = shown.at(name);
    EXPECT_EQ(std::set<std::string>(pictures.begin(), pictures.end()), expected.at(name)) << name;
  }
  EXPECT_TRUE(game().messageBoxes().empty());
}

// With loop=1 a GIF without a NETSCAPE extension plays once, as in a browser, and stays on its
// last frame while in view; out of view longer than the whole animation, it plays again when it
// comes back. The same GIF without the key repeats.
TEST(Module, LoopCountOnRequest) {
  sharedFolder();
  game().setScene({texture("once", Host::RasterSiteEax), texture("repeat", Host::RasterSiteEbx)});
  for (const char* name : {"once", "repeat"}) ASSERT_TRUE(runUntilSwapped(name, 10'000)) << name;
  const double wholeLoop = 900;
  auto shown = halvesShown({"once", "repeat"}, 2 * wholeLoop + 1000);
  const std::vector<std::string> playedOnce = {"RR", "GG", "BB"};
  EXPECT_EQ(runs(shown.at("once")), playedOnce);
  const auto repeated = runs(shown.at("repeat"));
  EXPECT_GE(repeated.size(), 4u) << "back to the first frame after the last";
  EXPECT_EQ(std::vector<std::string>(repeated.begin(), repeated.begin() + 3), playedOnce);

  // Out of view for longer than the whole animation and a second.
  game().setScene({texture("stone", Host::RasterSiteEax)});
  const auto away = std::chrono::steady_clock::now();
  while (std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - away).count() <
         FrameList::OutOfViewMs + 500)
    game().runFrames(1);
  game().setScene({texture("once", Host::RasterSiteEax)});
  shown = halvesShown({"once"}, wholeLoop + 1000);
  EXPECT_EQ(runs(shown.at("once")), playedOnce);
  EXPECT_TRUE(game().messageBoxes().empty());
}

// Run with Direct3D appearing before main-loop pass 5.
TEST(Module, ManagerWaitsForDirect3D) {
  GameFolder folder;
  folder.gif("fire.gif");
  folder.gif("bad.gif", TestGifs::corrupt());  // one message box per catalogue made
  game().setScene({texture("fire", Host::RasterSiteEax)});
  for (int i = 0; i < 5; ++i) {
    game().runFrames(1);
    EXPECT_FALSE(game().direct3DLoaded());
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongA(game().window(), GWL_WNDPROC)),
              game().gameWindowProcedure());
    EXPECT_TRUE(game().messageBoxes().empty());
  }
  game().runFrames(10);
  EXPECT_TRUE(game().direct3DLoaded());
  EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongA(game().window(), GWL_WNDPROC)),
            game().gameWindowProcedure());
  EXPECT_EQ(game().messageBoxes().size(), 1u);
  EXPECT_TRUE(drawOf(game().draws(-1), "fire")->swapped());
}

// Run without Direct3D.
TEST(Module, NoManagerWithoutDirect3D) {
  GameFolder folder;
  folder.gif("bad.gif", TestGifs::corrupt());
  game().runFrames(10);
  EXPECT_TRUE(game().messageBoxes().empty());
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongA(game().window(), GWL_WNDPROC)),
            game().gameWindowProcedure());
  const auto changes = game().unloadModules();
  EXPECT_TRUE(changes.empty()) << changes.size() << " runs of game code not restored";
  game().runFrames(3);
}

// Run in a game of its own: a device name hangs the game for good if it is ever opened.
TEST(Module, AwkwardNamesAreSkippedOrPlayed) {
  GameFolder folder;
  const AwkwardNames names = writeAwkwardNames(folder);
  std::vector<TextureSpec> scene;
  std::vector<std::string> all = names.devices;
  all.insert(all.end(), names.playing.begin(), names.playing.end());
  all.push_back(names.tooLong);
  all.push_back(names.corrupt);
  for (std::size_t i = 0; i < all.size(); ++i) scene.push_back(texture(all[i], allSites[i % 5]));
  game().setScene(scene);
  game().runFrames(3);

  const auto boxes = game().messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Can't load animation " + names.corrupt) << "in any script";
  EXPECT_EQ(boxes[0].text, "GIF file is corrupt!");
  const auto draws = game().draws(-1);
  for (const auto& name : all) {
    const DrawRecord* draw = drawOf(draws, name);
    ASSERT_NE(draw, nullptr) << name;
    const bool plays = std::count(names.playing.begin(), names.playing.end(), name) != 0;
    EXPECT_EQ(draw->swapped(), plays) << name;
    const bool alphaOn = std::count(names.alphaOn.begin(), names.alphaOn.end(), name) != 0;
    EXPECT_EQ(draw->alphaFlag, alphaOn) << name;
  }
  const std::string log = folder.log();
  for (const auto& name : names.devices)
    EXPECT_NE(log.find("loadAnimations: skipped " + name + ".gif: Windows reserves this name"),
              std::string::npos) << name << " in\n" << log;
  EXPECT_NE(log.find("loadAnimations: skipped " + names.tooLong + ".gif: a game texture name has "
                     "at most 31 characters"), std::string::npos) << log;
}

// Run in a game of its own: nine problems at start give five boxes, and the log has them all.
TEST(Module, ProblemsAtStartShowAHandfulOfBoxes) {
  GameFolder folder;
  writeManyProblems(folder);
  game().setScene({texture("noisy", Host::RasterSiteEax)});
  game().runFrames(3);

  const auto boxes = game().messageBoxes();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes.back().caption, "Velquor: more problems");
  EXPECT_EQ(boxes.back().text.rfind("5 more files of the animation folder have problems.", 0), 0u)
      << boxes.back().text;
  for (const auto& box : boxes)
    EXPECT_LE(std::count(box.text.begin(), box.text.end(), '\n'), 9) << box.caption;
  EXPECT_TRUE(drawOf(game().draws(-1), "noisy")->swapped()) << "a settings problem does not stop it";

  const std::string log = folder.log();
  for (int i = 0; i < 8; ++i)
    EXPECT_NE(log.find("Can't load animation old" + std::to_string(i) + ": "), std::string::npos) << i;
  for (int i = 0; i < 40; ++i)
    EXPECT_NE(log.find("Velquor/noisy.cfg: line " + std::to_string(i + 3) + ": note" +
                       std::to_string(i) + "=x: not a number"), std::string::npos) << i;
}

// Last of the cases that share a game: it takes the module out. A player's second copy of the
// module (another .asi file of it) stays inert and leaves nothing behind either.
TEST(Module, UnloadPutsTheGameBack) {
  sharedFolder();
  game().setScene({texture("fire", Host::RasterSiteEax), texture("sky", Host::TextureToRaster)});
  game().runFrames(5);
  ASSERT_TRUE(drawOf(game().draws(-1), "fire")->swapped());
  ASSERT_TRUE(drawOf(game().draws(-1), "sky")->swapped());

  wchar_t module[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(GetModuleHandleA("Velquor.asi"), module, MAX_PATH), 0u);
  const std::filesystem::path copy = std::filesystem::current_path() / "Velquor copy.asi";
  std::filesystem::copy_file(module, copy, std::filesystem::copy_options::overwrite_existing);
  const auto patched = game().changedCode();
  ASSERT_NE(game().loadModule(copy.u8string()), nullptr);
  game().runFrames(5);
  EXPECT_EQ(game().changedCode().size(), patched.size()) << "the copy patched the game";
  EXPECT_TRUE(drawOf(game().draws(-1), "fire")->swapped());

  const auto changes = game().unloadModules();
  for (const auto& change : changes) EXPECT_TRUE(insideMainLoopCall(change));
  // Nothing of the module's is left in the device: a reset succeeds.
  EXPECT_EQ(game().resetDevice(), 0);
  // The game goes on running its loop through what stays at 0x748DA3.
  const unsigned passes = game().loopPasses();
  game().runFrames(5);
  EXPECT_EQ(game().loopPasses(), passes + 5);
  for (const auto& draw : game().draws(-1)) EXPECT_FALSE(draw.swapped()) << draw.texture;
}

}  // namespace
