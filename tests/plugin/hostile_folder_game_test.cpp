// The real Velquor.asi in the stand-in game with a folder that holds everything players drop in
// it at once: the hostile cases, a few hundred random files and some good animations. The game
// runs a few thousand frames, textures coming into and out of view in turns, with device
// resets, then the module is unloaded. Nothing may crash or hang (a watchdog ends a game that
// stops), no frame may draw a blank texture, the good animations must play with their settings,
// message boxes stay few, the device resets after the unload, only the main-loop site stays
// changed, and no file of the folder changes. The checker, on the same folder, must end and
// predict what the module did.
#include <d3d9.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "check/folder_check.h"
#include "game/standin_api.h"
#include "host/host.h"
#include "plugin/game_watchdog.h"
#include "plugin/hostile_folder.h"
#include "plugin/message_box.h"
#include "plugin/raw_folder.h"

namespace {

using Standin::DrawRecord;
using Standin::TextureSpec;

constexpr std::uint64_t Seed = 20261208;
constexpr int RandomFiles = 300;
// Each turn draws the shown animations and the next few of the others, so that every file
// comes into view and out of it again; a reset after every few turns.
constexpr std::size_t Turns = 34;
constexpr int FramesPerTurn = 60;
constexpr std::size_t HostilePerTurn = 5, RandomPerTurn = 9;
constexpr int TurnsPerReset = 5;
constexpr int CaptureEvery = 20;
// The world streams: the shown animations come in texture dictionaries that are unloaded and
// loaded again every few frames, alternately in and against the order they were freed in (so
// that each texture gets its own freed addresses back, with another size, alpha flag and palette
// record) and behind a dictionary of the game's own textures (so that they get other names'
// addresses). The first shown animation leaves with its dictionary for half of every turn, and
// one of the game's own textures holds its cell meanwhile.
constexpr int StreamEvery = 6;
constexpr int AwayFrom = FramesPerTurn / 2;
const std::vector<std::string> PropNames = {"prop-rock", "prop-tree", "prop-sign", "prop-wall"};
const std::string GapName = "prop-gap";
// The catalogue is made in frame 0, which draws nothing, so that every box of that frame is one
// of the start; from frame 1 on the module's textures are drawn.
constexpr int FirstAnimatedFrame = 1;
// Far longer than any frame takes, even emulated; a hang ends the game with a message.
constexpr DWORD HangLimitMs = 90'000;

const std::string FolderPrefix = "velquor-hostile-";

constexpr std::uint32_t Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF, Black = 0xFF000000;

const std::uint32_t allSites[] = {Host::RasterSiteEbx, Host::RasterSiteEax, Host::RasterSiteEsi,
                                  Host::RasterSiteEdx, Host::TextureToRaster};

StandinGame& game() { return standinGame(); }

bool closeColours(std::uint32_t a, std::uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > 2) return false;
  }
  return true;
}

bool frameColour(std::uint32_t colour) {
  return closeColours(colour, Red) || closeColours(colour, Green) || closeColours(colour, Blue);
}

// Collects failures of one kind and reports the first few with the count of all.
class Findings {
 public:
  explicit Findings(std::string what) : what_(std::move(what)) {}
  void add(const std::string& detail) {
    if (++count_ <= 8) examples_ += "\n  " + detail;
  }
  ~Findings() {
    if (count_ > 0) ADD_FAILURE() << what_ << ": " << count_ << " times, e.g." << examples_;
  }

 private:
  std::string what_, examples_;
  int count_ = 0;
};

std::string at(const DrawRecord& draw) { return draw.texture + " at frame " + std::to_string(draw.frame); }

// Pixels of a shown animation in one captured frame.
struct Sample {
  int frame = 0;
  std::string texture;
  std::uint32_t centre = 0, border = 0;
};

// The game, its folder and what was seen, shared by the cases (they run in file order).
struct HostileRun {
  std::filesystem::path root;
  HostileFolder folder;
  std::map<std::string, std::string> filesBefore;
  GameWatchdog* watchdog = nullptr;  // never deleted: its thread may outlive every case
  std::vector<int> resetsAt;         // the first frame after each reset
  std::map<std::string, bool> played;  // every texture drawn -> whether it ever showed the module's
  // Good animations that showed the game's own texture before their first frame: only those
  // decoded at their first use rather than at start may (the checker says which, at the end).
  std::set<std::string> waitedForFrames;
  std::vector<Standin::MessageBoxRecord> boxes;
};

HostileRun* started = nullptr;

HostileRun& hostileRun() {
  static HostileRun* made = started = [] {
    auto* run = new HostileRun;
    run->watchdog = new GameWatchdog([] { return static_cast<long>(game().frameCount()); },
                                     [] { return static_cast<long>(game().messageBoxes().size()); }, HangLimitMs);
    // A run that was ended leaves its folder behind: take those away first.
    const auto temp = std::filesystem::temp_directory_path();
    for (const auto& entry : std::filesystem::directory_iterator(temp))
      if (entry.path().filename().string().rfind(FolderPrefix, 0) == 0) RawFolder::removeTree(entry.path());
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    run->root = temp / (FolderPrefix + std::to_string(stamp));
    std::filesystem::create_directories(run->root);
    return run;
  }();
  return *made;
}

// Once every case has run (whichever ran), the watchdog lets the game end in peace.
class StopWatchdog : public ::testing::Environment {
  void TearDown() override {
    if (started) started->watchdog->stop();
  }
};
const auto* const stopWatchdog = ::testing::AddGlobalTestEnvironment(new StopWatchdog);

// The scene's own textures: the folder's other files, off screen (the dictionaries hold the
// visible cells).
std::vector<TextureSpec> sceneOf(const std::vector<SceneName>& others) {
  std::vector<TextureSpec> scene;
  std::size_t site = 0;
  for (const auto& other : others) {
    TextureSpec spec;
    spec.name = other.texture;
    spec.width = spec.height = 16;
    spec.argb = 0xFFFFFF00;
    spec.site = allSites[site++ % 5];
    spec.palette = site % 2 == 0;
    scene.push_back(spec);
  }
  return scene;
}

// The shown animations but the first, as the dictionary loaded for the `load`-th time has them.
std::vector<TextureSpec> streamedShown(const std::vector<ShownAnimation>& shown, int load) {
  const bool flipped = load % 2 == 1;
  std::vector<TextureSpec> textures;
  for (std::size_t i = 1; i < shown.size(); ++i) {
    TextureSpec spec;
    spec.name = shown[i].texture;
    spec.width = spec.height = flipped ? 56 : 64;
    spec.argb = 0xFFFFFF00;
    spec.site = allSites[(i + load) % 5];
    spec.alpha = shown[i].ownAlpha != flipped;
    spec.palette = shown[i].ownPalette != flipped;
    textures.push_back(spec);
  }
  if (flipped) std::reverse(textures.begin(), textures.end());
  return textures;
}

std::vector<TextureSpec> props(int load) {
  std::vector<TextureSpec> textures;
  for (std::size_t i = 0; i < 3; ++i) {
    TextureSpec spec;
    spec.name = PropNames[(load + i) % PropNames.size()];
    spec.width = spec.height = 16 + 8 * static_cast<int>(i);
    spec.site = allSites[(load + i) % 5];
    spec.palette = (load + i) % 2 == 0;
    spec.alpha = (load + i) % 3 == 0;
    textures.push_back(spec);
  }
  return textures;
}

// One step of the stream: the animations' dictionary made again, every third time after the
// props' (whose freed records it then takes first).
void stream(const std::vector<ShownAnimation>& shown, int load) {
  game().unloadDictionary("animated");
  const bool propsToo = load % 3 == 2;
  if (propsToo) game().unloadDictionary("props");
  game().loadDictionary("animated", streamedShown(shown, load));
  if (propsToo || load == 0) game().loadDictionary("props", props(load));
}

TextureSpec cellHolder(const std::string& name) {
  TextureSpec spec;
  spec.name = name;
  spec.argb = 0xFFFFFF00;
  spec.palette = true;
  return spec;
}

// The next `count` names of a list, going round.
std::vector<SceneName> turnOf(const std::vector<SceneName>& names, std::size_t turn, std::size_t count) {
  std::vector<SceneName> out;
  for (std::size_t i = 0; i < count && i < names.size(); ++i) out.push_back(names[(turn * count + i) % names.size()]);
  return out;
}

bool resetBetween(const std::vector<int>& resetsAt, int frame, int next) {
  for (int r : resetsAt)
    if (frame < r && r <= next) return true;
  return false;
}

// An animation drawn every frame moves, and between two resets shows no more textures than it
// has frames; one whose delays are all 0 shows a new frame at every draw.
void checkPlayback(const ShownAnimation& shown, const std::map<int, std::uint32_t>& byFrame,
                   const std::vector<int>& resetsAt, const std::map<int, double>& frameEndMs) {
  Findings tooMany(shown.texture + " showed more textures than it has frames between two resets");
  Findings stuck(shown.texture + " (all delays 0) showed a frame for more than one draw");
  std::set<std::uint32_t> span, everSeen;
  int previousFrame = -1;
  std::uint32_t previous = 0;
  for (const auto& [frame, texture] : byFrame) {
    everSeen.insert(texture);
    const bool sameSpan = previousFrame >= 0 && frame == previousFrame + 1 && !resetBetween(resetsAt, previousFrame, frame);
    if (!sameSpan) span.clear();
    span.insert(texture);
    if (static_cast<int>(span.size()) > shown.frames) tooMany.add("frame " + std::to_string(frame));
    if (sameSpan && shown.zeroDelays && texture == previous) {
      // The two frames that drew it: a long one may hold a message box or a stall.
      const auto end = frameEndMs.find(frame), before = frameEndMs.find(previousFrame - 1);
      const long spentMs = end == frameEndMs.end() || before == frameEndMs.end()
                               ? -1 : std::lround(end->second - before->second);
      stuck.add("frame " + std::to_string(frame) + " (frames " + std::to_string(previousFrame) + " and " +
                std::to_string(frame) + " took " + std::to_string(spentMs) + " ms)");
    }
    previousFrame = frame;
    previous = texture;
  }
  EXPECT_GE(everSeen.size(), 2u) << shown.texture << " never moved";
}

TEST(HostileFolder, ThousandsOfFramesWithResetsNeitherCrashNorHangNorBlank) {
  HostileRun& run = hostileRun();
  GameWatchdog& watchdog = *run.watchdog;
  ASSERT_NE(game().device(), nullptr);
  D3DCAPS9 caps{};
  ASSERT_EQ(game().device()->GetDeviceCaps(&caps), D3D_OK);

  watchdog.step("writing the folder");
  run.folder = makeHostileFolder(Seed, RandomFiles, caps.MaxTextureWidth);
  const auto velquor = run.root / "Velquor";
  for (const auto& file : run.folder.files)
    ASSERT_TRUE(RawFolder::write(velquor, file.name, file.bytes)) << file.name;
  run.filesBefore = RawFolder::readAll(velquor);
  ASSERT_EQ(run.filesBefore.size(), run.folder.files.size()) << "names the system merged";
  SetCurrentDirectoryW(run.root.wstring().c_str());

  std::map<std::string, Expect> expected;
  for (const auto& shown : run.folder.shown) expected[shown.texture] = Expect::Plays;
  for (const auto& prop : PropNames) expected[prop] = Expect::StaysOwn;
  expected[GapName] = Expect::StaysOwn;
  for (const auto& list : {run.folder.hostile, run.folder.random})
    for (const auto& name : list) expected[name.texture] = name.expect;

  std::vector<Sample> samples;
  std::vector<long> resetResults;
  std::map<int, double> frameEndMs;  // to tell a stalled game from a stuck animation
  auto frameDone = [&] {
    frameEndMs[game().frameCount() - 1] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
  };
  frameDone();  // the start of frame 0
  game().setScene({});
  game().runFrames(1);
  frameDone();
  ASSERT_EQ(game().frameCount(), FirstAnimatedFrame);
  ASSERT_LE(run.folder.random.size(), Turns * RandomPerTurn) << "random files never drawn";
  const ShownAnimation& away = run.folder.shown.front();
  int loads = 0;
  for (std::size_t turn = 0; turn < Turns; ++turn) {
    std::vector<SceneName> others = turnOf(run.folder.hostile, turn, HostilePerTurn);
    const auto randomTurn = turnOf(run.folder.random, turn, RandomPerTurn);
    others.insert(others.end(), randomTurn.begin(), randomTurn.end());
    game().unloadDictionary("gap");
    game().loadDictionary("away", {cellHolder(away.texture)});
    if (turn == 0) stream(run.folder.shown, loads++);
    game().setScene(sceneOf(others));
    watchdog.step("playing");
    for (int i = 0; i < FramesPerTurn; ++i) {
      if (i % StreamEvery == StreamEvery - 1) stream(run.folder.shown, loads++);
      if (i == AwayFrom) {
        game().unloadDictionary("away");
        game().loadDictionary("gap", {cellHolder(GapName)});
      }
      if (i % CaptureEvery != CaptureEvery - 1) {
        game().runFrames(1);
        frameDone();
        continue;
      }
      const auto capture = game().captureFrame();
      frameDone();
      ASSERT_GT(capture.width, 0);
      for (const auto& shown : run.folder.shown) {
        const auto cell = game().cellCentre(shown.texture);
        if (cell.x < 0 || cell.x >= capture.width || cell.y >= capture.height) continue;  // away
        samples.push_back({game().frameCount() - 1, shown.texture, capture.at(cell.x, cell.y),
                           capture.at(cell.x - 24, cell.y - 24)});
      }
    }
    if (turn % TurnsPerReset == TurnsPerReset - 1) {
      // Twice in a row the first time: textures made again and at once let go again.
      for (int i = 0; i < (turn == TurnsPerReset - 1 ? 2 : 1); ++i) {
        watchdog.step("resetting the device");
        resetResults.push_back(game().resetDevice());
      }
      run.resetsAt.push_back(game().frameCount());
    }
  }
  ASSERT_GE(game().frameCount(), 2000);
  EXPECT_GE(loads, 300);

  for (long result : resetResults) EXPECT_EQ(result, 0) << "a reset failed";

  // What every texture was drawn with, frame after frame.
  const auto draws = game().draws();
  {
    Findings blank("a blank texture (the stand-in draws magenta)");
    Findings notPlaying("a good animation showed no texture of the module");
    Findings notOwn("a file that cannot play replaced the game's texture");
    Findings settings("settings did not reach the raster");
    Findings stale("drawn with a raster, palette record or texture the game had freed");
    Findings disagrees("drawn with a raster unlike the texture's own (size, format, flags)");
    Findings notOwnRaster("drawn with a palette record or alpha flag not the texture's own, unasked");
    for (const auto& draw : draws) {
      if (draw.d3dTexture == 0) blank.add(at(draw));
      if (draw.stale) stale.add(at(draw));
      if (!draw.agrees) disagrees.add(at(draw));
      if (draw.frame < FirstAnimatedFrame) continue;
      run.played[draw.texture] |= draw.d3dTexture != 0 && draw.d3dTexture != draw.ownD3dTexture;
      const auto expect = expected.find(draw.texture);
      ASSERT_NE(expect, expected.end()) << draw.texture;
      const bool ownTexture = !draw.swapped() || draw.d3dTexture == draw.ownD3dTexture;
      if (expect->second == Expect::Plays && ownTexture && !run.played[draw.texture])
        run.waitedForFrames.insert(draw.texture);
      else if (expect->second == Expect::Plays && ownTexture)
        notPlaying.add(at(draw));
      if (expect->second == Expect::StaysOwn && draw.d3dTexture != draw.ownD3dTexture) notOwn.add(at(draw));
      for (const auto& shown : run.folder.shown) {
        if (shown.texture != draw.texture) continue;
        if (shown.alphaFlag >= 0 && draw.alphaFlag != (shown.alphaFlag != 0))
          settings.add(at(draw) + ": alpha flag " + std::to_string(draw.alphaFlag));
        if (shown.paletteIndex >= 0 && draw.paletteIndex != shown.paletteIndex)
          settings.add(at(draw) + ": palette index " + std::to_string(draw.paletteIndex));
        if ((shown.alphaFlag < 0 && draw.alphaFlag != draw.ownAlpha) ||
            (shown.paletteIndex < 0 && draw.palette != draw.ownPalette))
          notOwnRaster.add(at(draw));
      }
    }
  }

  // The shown animations move through their frames; those without delays at every draw.
  for (const auto& shown : run.folder.shown) {
    std::map<int, std::uint32_t> byFrame;
    for (const auto& draw : draws)
      if (draw.texture == shown.texture && draw.d3dTexture != draw.ownD3dTexture) byFrame[draw.frame] = draw.d3dTexture;
    checkPlayback(shown, byFrame, run.resetsAt, frameEndMs);
  }

  // Their real pixels: a frame's colour, and the background colour where the settings keep it.
  {
    Findings wrongPixels("a shown animation's pixels are not its frames'");
    for (const auto& sample : samples) {
      const auto& shown = *std::find_if(run.folder.shown.begin(), run.folder.shown.end(),
                                        [&](const ShownAnimation& s) { return s.texture == sample.texture; });
      const bool ok = shown.blackCentre ? closeColours(sample.centre, Black) && frameColour(sample.border)
                                        : frameColour(sample.centre);
      char detail[160];
      std::snprintf(detail, sizeof detail, "%s at frame %d: centre %08X, border %08X", sample.texture.c_str(),
                    sample.frame, static_cast<unsigned>(sample.centre), static_cast<unsigned>(sample.border));
      if (!ok) wrongPixels.add(detail);
    }
  }

  // Message boxes: a handful at start then one for the rest, at most one per file after.
  const auto boxes = run.boxes = game().messageBoxes();
  std::size_t atStart = 0;
  std::set<std::pair<std::string, std::string>> distinct;
  {
    Findings repeated("the same message box twice");
    for (const auto& box : boxes) {
      if (box.frame == 0) ++atStart;
      if (!distinct.insert({box.caption, box.text}).second) repeated.add(box.caption + ": " + box.text);
    }
  }
  EXPECT_LE(atStart, MaxBoxesAtStart) << "message boxes while the game starts";
  std::set<std::string> drawnFailing;
  for (const auto& draw : draws)
    if (expected[draw.texture] != Expect::Plays) drawnFailing.insert(draw.texture);
  EXPECT_LE(boxes.size(), MaxBoxesAtStart + drawnFailing.size()) << "message boxes in all";

  for (const auto& line : game().traceLines())
    EXPECT_EQ(line.find("\"event\":\"error\""), std::string::npos) << line;
}

// Takes the module out.
TEST(HostileFolder, UnloadLeavesTheDeviceResettableAndEveryFileAsItWas) {
  HostileRun& run = hostileRun();
  ASSERT_FALSE(run.filesBefore.empty()) << "the folder was never made";
  GameWatchdog& watchdog = *run.watchdog;

  watchdog.step("unloading the module");
  for (const auto& change : game().unloadModules()) {
    const bool inside = change.address >= Host::MainLoopCall &&
                        change.address + change.now.size() <= Host::MainLoopCall + Host::MainLoopCallSize;
    EXPECT_TRUE(inside) << std::hex << "game code still changed at 0x" << change.address;
  }
  watchdog.step("reading the folder again");
  const auto after = RawFolder::readAll(run.root / "Velquor");
  {
    Findings changed("a file of the folder changed");
    for (const auto& [name, bytes] : run.filesBefore) {
      const auto now = after.find(name);
      if (now == after.end()) changed.add(name + " is gone");
      else if (now->second != bytes) changed.add(name + " has other bytes");
    }
    for (const auto& [name, bytes] : after)
      if (run.filesBefore.count(name) == 0) changed.add(name + " is new");
  }
  watchdog.step("resetting the device after the unload");
  // A failed reset leaves the game without a device: it would crash at its next frame.
  ASSERT_EQ(game().resetDevice(), 0) << "something of the module holds the device";
  const unsigned passes = game().loopPasses();
  game().runFrames(3);
  EXPECT_EQ(game().loopPasses(), passes + 3);
  for (const auto& draw : game().draws(-1)) {
    EXPECT_FALSE(draw.swapped()) << draw.texture;
    EXPECT_NE(draw.d3dTexture, 0u) << draw.texture;
  }
}

// Last: the checker on the same folder ends, and says what the module did.
TEST(HostileFolder, CheckerTerminatesAndPredictsWhatTheModuleDid) {
  HostileRun& run = hostileRun();
  ASSERT_FALSE(run.played.empty()) << "the game never played the folder";
  run.watchdog->step("checking the folder");
  const FolderPrediction prediction = checkFolder((run.root / "Velquor").u8string());

  {
    Findings wrong("the checker's prediction differs from what the module did");
    for (const auto& [texture, played] : run.played) {
      bool plays = false;
      for (const auto& animation : prediction.animations)
        if (animation.textureName == texture) plays = animation.plays();
      if (plays != played)
        wrong.add(texture + (played ? " played, predicted not to" : " did not play, predicted to"));
    }
    for (const auto& animation : prediction.animations)
      if (run.waitedForFrames.count(animation.textureName) && animation.decodedAtStart)
        wrong.add(animation.textureName + " waited for its first frames, though decoded at start");
  }

  // The boxes while the game starts, in order; those at first use, whatever their order.
  std::vector<std::pair<std::string, std::string>> shownAtStart, shownLater, predictedLater;
  for (const auto& box : run.boxes) (box.frame == 0 ? shownAtStart : shownLater).push_back({box.caption, box.text});
  std::vector<std::pair<std::string, std::string>> predictedAtStart;
  for (const auto& box : prediction.boxesAtStart()) predictedAtStart.push_back({box.caption, box.text});
  for (const auto& animation : prediction.animations)
    if (run.played.count(animation.textureName))
      for (const auto& box : animation.boxesAtFirstUse) predictedLater.push_back({box.caption, box.text});
  EXPECT_EQ(shownAtStart, predictedAtStart) << "boxes while the game starts";
  std::sort(shownLater.begin(), shownLater.end());
  std::sort(predictedLater.begin(), predictedLater.end());
  EXPECT_EQ(shownLater, predictedLater) << "boxes when textures are first drawn";

  SetCurrentDirectoryW(run.root.parent_path().wstring().c_str());
  RawFolder::removeTree(run.root);
}

}  // namespace
