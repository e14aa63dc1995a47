// The checker's predictions on made-up folders: which files become animations, what is skipped,
// the message boxes of settings files and GIFs, what is decoded at start, notes and memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "check/check_report.h"
#include "check/folder_check.h"
#include "check/case_folders.h"
#include "gif/memory_limits.h"
#include "plugin/folder_listing.h"
#include "png/apng_writer.h"

namespace {

class CheckFolder : public ::testing::Test, public CaseFolder {
 protected:
  FolderPrediction check() const { return predict(); }
};

const AnimationPrediction* find(const FolderPrediction& p, const std::string& texture) {
  for (const auto& a : p.animations)
    if (a.textureName == texture) return &a;
  return nullptr;
}

bool mentions(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

std::string reasonFor(const FolderPrediction& p, const std::string& fileName) {
  for (const auto& s : p.skipped)
    if (s.fileName == fileName) return s.reason;
  return "(not skipped)";
}

TEST_F(CheckFolder, OnlyExactGifFilesOfTheFolderItselfBecomeAnimations) {
  folderRules();
  file("notes.txt", "hello");
  const FolderPrediction p = check();

  std::vector<std::string> textures;
  for (const auto& a : p.animations) textures.push_back(a.textureName);
  std::sort(textures.begin(), textures.end());
  EXPECT_EQ(textures, (std::vector<std::string>{"a.b", "fire"}));
  EXPECT_NE(reasonFor(p, "Fire2.GIF").find("rename it to Fire2.gif"), std::string::npos);
  EXPECT_NE(reasonFor(p, "smoke").find("folder"), std::string::npos);
  EXPECT_NE(reasonFor(p, "notes.txt").find("not a .gif"), std::string::npos);
  EXPECT_TRUE(mentions(p.mistakes, "Fire2.GIF"));
  EXPECT_TRUE(mentions(p.mistakes, "smoke/ holds GIF files"));
  EXPECT_TRUE(p.failures().empty());
  EXPECT_EQ(exitStatus(p, false), 0);
  EXPECT_EQ(exitStatus(p, true), 1) << "mistakes count when strict";
}

TEST_F(CheckFolder, FirstFiftyMadeAreDecodedAtStartAndAFailureGivesItsPlaceAway) {
  const Sixty sixty = sixtyWithTwoCorrupt();
  const FolderPrediction p = check();
  ASSERT_EQ(p.animations.size(), 60u);
  for (std::size_t i = 0; i < p.animations.size(); ++i) {
    const AnimationPrediction& a = p.animations[i];
    SCOPED_TRACE(a.textureName);
    // The failed 8th does not count: the 51st file takes its place.
    EXPECT_EQ(a.decodedAtStart, i <= 50);
    EXPECT_EQ(a.catalogued, i != 7);
  }
  const auto boxes = p.boxesAtStart();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Can't load animation " + sixty.early);
  EXPECT_EQ(boxes[0].text, "GIF file is corrupt!");
  const AnimationPrediction* lateOne = find(p, sixty.late);
  ASSERT_EQ(lateOne->boxesAtFirstUse.size(), 1u);
  EXPECT_EQ(lateOne->boxesAtFirstUse[0].caption, "Can't load animation " + sixty.late);
  EXPECT_EQ(lateOne->boxesAtFirstUse[0].text, "GIF file is corrupt!");
  EXPECT_EQ(p.failures().size(), 2u);
  EXPECT_EQ(exitStatus(p, false), 1);
}

TEST_F(CheckFolder, SettingsMessagesAreTheModulesWithItsOwnCaption) {
  settingsAndRefusals();
  const FolderPrediction p = check();

  const AnimationPrediction* onlyOverride = find(p, "only_override");
  ASSERT_EQ(onlyOverride->boxesAtStart.size(), 1u);
  EXPECT_EQ(onlyOverride->boxesAtStart[0].caption, "Velquor/only_override.cfg");
  EXPECT_EQ(onlyOverride->boxesAtStart[0].text,
            "background is missing: write background=0 or background=1; without it, override is "
            "not read");
  EXPECT_FALSE(onlyOverride->settings.background.has_value());
  EXPECT_EQ(onlyOverride->settings.override, false);
  EXPECT_TRUE(onlyOverride->catalogued) << "a settings message does not stop the animation";

  const AnimationPrediction* badAlpha = find(p, "bad_alpha");
  ASSERT_EQ(badAlpha->boxesAtStart.size(), 1u);
  EXPECT_EQ(badAlpha->boxesAtStart[0].text, "line 3: alpha=x: not a number");
  EXPECT_EQ(badAlpha->settings.override, true);
  EXPECT_FALSE(badAlpha->settings.alpha.has_value());

  const AnimationPrediction* good = find(p, "good");
  EXPECT_TRUE(good->boxesAtStart.empty());
  EXPECT_EQ(good->settings.background, true);
  EXPECT_EQ(good->settings.numberColorPalette, 7u);
  EXPECT_EQ(good->settings.alpha, 44);

  EXPECT_EQ(reasonFor(p, "good.cfg"), "(not skipped)");
  EXPECT_NE(reasonFor(p, "orphan.cfg").find("without its GIF"), std::string::npos);
  EXPECT_TRUE(mentions(p.mistakes, "orphan.cfg"));
  EXPECT_EQ(p.boxesAtStart().size(), 3u) << "two settings files and the GIF87a file";
  EXPECT_EQ(exitStatus(p, false), 1);
}

TEST_F(CheckFolder, NotesWhatTheFileAsksForAndTheModuleIgnores) {
  GifWriter writer({8, 8, TestGifs::palette()});
  writer.loop(2).graphicControl({10}).image(TestGifs::solid(8, 8, 1));
  GifGraphicControl restore{0};
  restore.disposal = 2;
  writer.graphicControl(restore).image(TestGifs::solid(8, 8, 2));
  gif("asks.gif", writer.trailer().bytes());
  const FolderPrediction p = check();

  const AnimationPrediction* a = find(p, "asks");
  ASSERT_TRUE(a->gif.accepted);
  EXPECT_EQ(a->gif.loopCount, 2);
  EXPECT_EQ(a->gif.delaysMs, (std::vector<std::int64_t>{100, 0}));
  EXPECT_EQ(a->gif.disposalByImage, (std::vector<int>{0, 2}));
  EXPECT_TRUE(mentions(a->ignored, "loop count 2"));
  EXPECT_TRUE(mentions(a->ignored, "delay 0 on frame(s) 1"));
  EXPECT_TRUE(mentions(a->ignored, "disposal method (restore) on frame(s) 1"));
  EXPECT_TRUE(p.failures().empty());
}

// Images that give their rectangle back (disposal 2 or 3) are pointed out until the settings ask
// for them; the two switches are read as the module reads them, without a message.
TEST_F(CheckFolder, DisposalAndLoopSettingsAndTheTrailsWithoutThem) {
  struct Case {
    std::string name;
    GifBytes gif;
    std::string cfg;   // none when empty
    std::string note;  // the disposal note, none when empty
  };
  const Case cases[] = {
      {"two", TestGifs::disposingLeftHalf(2), "",
       "disposal method (restore) on frame(s) 1: every frame is drawn over the whole previous frame, which will "
       "leave trails in the game; write Velquor/two.cfg with the line disposal=1"},
      {"three", TestGifs::disposingLeftHalf(3), "background=1\noverride=0\n",
       "disposal method (restore) on frame(s) 1: every frame is drawn over the whole previous frame, which will "
       "leave trails in the game; add disposal=1 to Velquor/three.cfg"},
      {"one", TestGifs::disposingLeftHalf(1), "", ""},
      {"honoured", TestGifs::disposingLeftHalf(2), "background=0\noverride=1\ndisposal=1\nloop=1\n", ""},
  };
  for (const Case& c : cases) {
    gif(c.name + ".gif", c.gif);
    if (!c.cfg.empty()) file(c.name + ".cfg", c.cfg);
  }
  gif("once.gif", TestGifs::animated(8, 8, {{1, 10}, {2, 10}}, 1));
  file("once.cfg", "background=0\noverride=0\nloop=1\n");
  gif("repeats.gif", TestGifs::animated(8, 8, {{1, 10}, {2, 10}}, 2));
  const FolderPrediction p = check();
  for (const Case& c : cases) {
    const AnimationPrediction* a = find(p, c.name);
    std::vector<std::string> notes;
    for (const auto& line : a->ignored)
      if (line.find("disposal") != std::string::npos) notes.push_back(line);
    EXPECT_EQ(notes, c.note.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.note}) << c.name;
  }
  const AnimationPrediction* honoured = find(p, "honoured");
  EXPECT_EQ(honoured->settings.disposal, true);
  EXPECT_EQ(honoured->settings.loop, true);
  EXPECT_TRUE(honoured->boxesAtStart.empty()) << "known keys, numbers under override=1";

  const AnimationPrediction* once = find(p, "once");
  EXPECT_EQ(once->gif.runsBeforeStop, 2u) << "a count of 1 repeats once after the first run";
  EXPECT_FALSE(mentions(once->ignored, "loop count"));
  EXPECT_TRUE(mentions(find(p, "repeats")->ignored,
                       "loop count 2: the module repeats the animation for ever; to play it as browsers do, "
                       "write Velquor/repeats.cfg with the line loop=1"));
  const std::string text = formatText(p);
  EXPECT_NE(text.find("loop count 1: plays 2 time(s), then stays on its last frame until out of view"),
            std::string::npos) << text;
  EXPECT_NE(text.find("no loop count: plays 1 time(s)"), std::string::npos) << text;
  EXPECT_NE(text.find("Velquor/honoured.cfg: background transparent, override on (palette index not set, "
                      "alpha not set), disposal methods honoured, loop count honoured"),
            std::string::npos) << text;
}

TEST_F(CheckFolder, RefusedGifsAreFailuresWithTheDecodersWordsAndEmptyOnesKeepTheGameTexture) {
  settingsAndRefusals();
  const GifBytes whole = TestGifs::threeColours();
  gif("cut.gif", GifBytes(whole.begin(), whole.end() - 1));
  const FolderPrediction p = check();

  // A file that ends before its trailer plays what it has, and the module says so in its log.
  const AnimationPrediction* cut = find(p, "cut");
  EXPECT_TRUE(cut->gif.accepted);
  EXPECT_TRUE(cut->gif.cutShort);
  EXPECT_TRUE(cut->plays());
  EXPECT_TRUE(mentions(cut->warnings, cutShortText("Velquor/cut.gif", 3)));
  EXPECT_TRUE(mentions(p.failures(), cutShortText("Velquor/cut.gif", 3)));
  EXPECT_FALSE(find(p, "good")->gif.cutShort);

  const AnimationPrediction* refused = find(p, "old");
  EXPECT_FALSE(refused->gif.accepted);
  EXPECT_FALSE(refused->catalogued);
  EXPECT_EQ(refused->gif.decoderMessages, "invalid version\n");
  EXPECT_TRUE(mentions(refused->warnings, "GIF87a"));
  ASSERT_EQ(refused->boxesAtStart.size(), 1u);
  EXPECT_EQ(refused->boxesAtStart[0].text, refused->gif.refusal);

  const AnimationPrediction* empty = find(p, "empty");
  EXPECT_TRUE(empty->gif.accepted);
  EXPECT_TRUE(empty->catalogued);
  EXPECT_FALSE(mentions(p.failures(), "empty.gif"));
  EXPECT_TRUE(mentions(empty->warnings, "no images: the game's own texture stays"));
}

// Sizes and timing as the module's own rules decide them: its frame list's budgets, the card's
// largest texture, its playback.
TEST_F(CheckFolder, SizesAndTimesAreThoseOfTheModulesRules) {
  gif("blink.gif", TestGifs::animated(4, 4, {{1, 0}, {2, 0}, {3, 0}}));
  gif("wide.gif", TestGifs::animated(20000, 1, {{1, 10}}));
#ifndef _WIN32  // a 64 MiB frame: too slow under the emulator
  GifWriter big({8192, 8192, TestGifs::palette()});
  big.image(TestGifs::solid(1, 1, 1)).image(TestGifs::solid(1, 1, 2)).trailer();
  gif("big.gif", big.bytes());
#endif
  const FolderPrediction p = check();

  const AnimationPrediction* blink = find(p, "blink");
  EXPECT_EQ(blink->gif.loopMsAtSixty, 50) << "three draws at 60 a second";
  EXPECT_TRUE(mentions(blink->ignored, "one loop takes 50 ms instead of 0 ms"));

  const AnimationPrediction* wide = find(p, "wide");
  ASSERT_EQ(wide->boxesAtFirstUse.size(), 1u);
  EXPECT_EQ(wide->boxesAtFirstUse[0].caption, "Can't load animation wide");
  EXPECT_EQ(wide->boxesAtFirstUse[0].text.rfind(
                "Velquor/wide.gif is too large for this graphics card: its frames are 20000 x 1, and the card "
                "makes textures of at most ", 0),
            0u)
      << wide->boxesAtFirstUse[0].text;
  EXPECT_TRUE(wide->catalogued);

#ifndef _WIN32
  const AnimationPrediction* large = find(p, "big");
  EXPECT_FALSE(large->gif.accepted);
  ASSERT_EQ(large->boxesAtStart.size(), 1u);
  EXPECT_EQ(large->boxesAtStart[0].text,
            "Velquor/big.gif is too large: its 2 frames of 8192 x 8192 need 513 MiB of textures; Velquor "
            "keeps all its textures within 256 MiB.");
#endif
}

TEST_F(CheckFolder, NamesLongerThanAGameTextureNameAreSkipped) {
  gif(std::string(31, 'x') + ".gif");
  gif(std::string(32, 'y') + ".gif");
  const FolderPrediction p = check();
  EXPECT_NE(find(p, std::string(31, 'x')), nullptr);
  EXPECT_EQ(find(p, std::string(32, 'y')), nullptr);
  EXPECT_NE(reasonFor(p, std::string(32, 'y') + ".gif").find("at most 31 characters"), std::string::npos);
  EXPECT_TRUE(mentions(p.mistakes, std::string(32, 'y') + ".gif"));
}

TEST_F(CheckFolder, AwkwardNamesAreSkippedWithTheReasonOrPlayed) {
  const AwkwardNames names = writeAwkwardNames(*this);
  const FolderPrediction p = check();
  for (const auto& device : names.devices) {
    EXPECT_EQ(find(p, device), nullptr) << device;
    EXPECT_NE(reasonFor(p, device + ".gif").find("Windows reserves this name for a device"),
              std::string::npos) << device;
    EXPECT_TRUE(mentions(p.mistakes, device + ".gif: ")) << device;
  }
  EXPECT_NE(reasonFor(p, "aux.cfg").find("Windows reserves"), std::string::npos);
  for (const auto& name : names.playing) {
    const AnimationPrediction* a = find(p, name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_TRUE(a->catalogued && a->gif.accepted) << name;
  }
  EXPECT_EQ(find(p, "bom")->settings.alpha, 1) << "the byte-order mark is not part of a key";
  EXPECT_TRUE(mentions(find(p, names.playing[0])->warnings, "non-ASCII"));
  ASSERT_EQ(p.boxesAtStart().size(), 1u);
  EXPECT_EQ(p.boxesAtStart()[0].caption, "Can't load animation " + names.corrupt);
}

TEST_F(CheckFolder, ProblemsAtStartShowAHandfulOfBoxes) {
  writeManyProblems(*this);
  const FolderPrediction p = check();
  EXPECT_EQ(p.problemsAtStart().size(), 9u);
  const auto boxes = p.boxesAtStart();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[4].text, "5 more files of the animation folder have problems. Every problem is "
                           "written in the log !KelDescent_Velquor.asi.log in the game's folder.");
  const std::string& noisy = find(p, "noisy")->boxesAtStart.at(0).text;  // in full, as logged
  EXPECT_EQ(std::count(noisy.begin(), noisy.end(), '\n'), 39);
  EXPECT_NE(noisy.find("line 42: note39=x: not a number"), std::string::npos);
}

TEST_F(CheckFolder, MemoryCountsFramesWhileDecodedAndTexturesWhileUploaded) {
  gif("big.gif", TestGifs::animated(100, 50, {{1, 10}, {2, 20}, {3, 30}}));
  const FolderPrediction p = check();
  const GifPrediction& g = find(p, "big")->gif;
  EXPECT_EQ(g.delaysMs, (std::vector<std::int64_t>{100, 200, 300}));
  EXPECT_EQ(g.totalMs, 600);
  EXPECT_GE(g.decodedBytes, 3u * 100 * 50);
  EXPECT_LT(g.decodedBytes, 3u * 100 * 50 + 8192) << "indices, palettes and frame records";
  EXPECT_EQ(g.textureBytes, 3 * (100 * 50 * 4 + Limits::TextureOverheadBytes));
  EXPECT_EQ(p.memory.atStart, g.decodedBytes);
  EXPECT_EQ(p.memory.worstCase, g.decodedBytes + g.textureBytes);
}

// Textures that fit the budget one animation at a time but not all drawn together: in the game
// those past the budget wait, which the checker counts as a problem.
TEST_F(CheckFolder, TexturesDrawnTogetherPastTheirBudgetAreAProblem) {
  // Tiny frames, each texture counted with what the driver keeps beside it: about 70 MiB each.
  std::vector<TestGifs::Frame> frames(9000, TestGifs::Frame{1, 10});
  const GifBytes many = TestGifs::animated(2, 2, frames);
  for (const char* name : {"a.gif", "b.gif", "c.gif", "d.gif"}) gif(name, many);
  const FolderPrediction p = check();
  EXPECT_EQ(p.memory.texturesTogether, 4 * find(p, "a")->gif.textureBytes);
  EXPECT_TRUE(mentions(p.failures(), "drawn at the same time, the animations' textures need 282 MiB, more than "
                                     "the module's 256 MiB for textures"));
}

TEST_F(CheckFolder, MissingOrBlockedFolder) {
  FolderPrediction missing = check();
  EXPECT_EQ(missing.state, FolderState::Missing);
  EXPECT_TRUE(missing.failures().empty()) << "the module makes the folder itself";

  root().write("Velquor", "not a folder");
  FolderPrediction blocked = check();
  EXPECT_EQ(blocked.state, FolderState::Blocked);
  ASSERT_EQ(blocked.boxesAtStart().size(), 1u);
  EXPECT_EQ(blocked.boxesAtStart()[0].caption, "Can't create folder Velquor");
  EXPECT_EQ(exitStatus(blocked, false), 1);
}

TEST_F(CheckFolder, ModuleSettingsTurnTheWatchOffOrShowTheFirstBoxAtStart) {
  struct Case {
    const char* ini;  // null: no Velquor.ini
    bool watch;
    const char* firstBox;
  };
  const Case cases[] = {
      {nullptr, true, nullptr},
      {"watch=0\r\n", false, nullptr},
      {"\xEF\xBB\xBFwatch=1\n", true, nullptr},
      {"watch=off\n", true, "line 1: watch=off: not a number"},
  };
  for (const Case& c : cases) {
    std::remove(root().file("Velquor.ini").c_str());
    if (c.ini) root().write("Velquor.ini", c.ini);
    gif("fire.gif");
    const FolderPrediction p = check();
    EXPECT_EQ(p.watch, c.watch) << (c.ini ? c.ini : "(none)");
    EXPECT_NE(formatText(p).find(c.watch ? "Live folder: on" : "Live folder: off"), std::string::npos);
    const auto boxes = p.boxesAtStart();
    if (!c.firstBox) {
      EXPECT_TRUE(boxes.empty()) << c.ini;
      continue;
    }
    ASSERT_FALSE(boxes.empty()) << c.ini;
    EXPECT_EQ(boxes[0].caption, "Velquor.ini");
    EXPECT_NE(boxes[0].text.find(c.firstBox), std::string::npos) << boxes[0].text;
  }
}

TEST_F(CheckFolder, JsonKeepsCaptionsAndTextsIntact) {
  gif("q.gif");
  file("q.cfg", "override=1\n");
  const std::string json = formatJson(check());
  EXPECT_NE(json.find("{\"caption\":\"Velquor/q.cfg\",\"text\":\"background is missing: write "
                      "background=0 or background=1; without it, override is not read\"}"),
            std::string::npos) << json;
  EXPECT_NE(json.find("\"texture\":\"q\""), std::string::npos);
  EXPECT_EQ(json.back(), '\n');
  EXPECT_EQ(std::count(json.begin(), json.end(), '{'), std::count(json.begin(), json.end(), '}'));
}

// Windows finds a settings file whatever its letter case; a checker on a case-sensitive
// system looks it up the same way, and both point the mismatch out.
TEST_F(CheckFolder, SettingsFileIsFoundWhateverItsLetterCase) {
  gif("glow.gif");
  file("GLOW.cfg", "background=1\noverride=0\n");
  const FolderPrediction p = check();
  const AnimationPrediction* glow = find(p, "glow");
  EXPECT_TRUE(glow->settings.exists);
  EXPECT_EQ(glow->settings.background, true);
  EXPECT_EQ(glow->settings.path, "Velquor/glow.cfg");
  EXPECT_TRUE(mentions(p.mistakes, "GLOW.cfg is read as the settings of glow.gif"));
  EXPECT_EQ(reasonFor(p, "GLOW.cfg"), "(not skipped)");
}

// Only "<name>.cfg" is a GIF's settings file: other files beside it that share its name are not.
TEST_F(CheckFolder, SettingsAreOnlyTheFileWithTheSettingsExtension) {
  gif("fire.gif");
  for (const char* other : {"fire.txt", "fire.bak", "fire.cfg.old", "fire.cf"}) file(other, "background=1\noverride=0\n");
  const FolderPrediction p = check();
  const AnimationPrediction* fire = find(p, "fire");
  EXPECT_FALSE(fire->settings.exists);
  EXPECT_FALSE(fire->settings.background.has_value());
  EXPECT_FALSE(mentions(p.mistakes, "read as the settings of fire.gif"));
}

#ifndef _WIN32
// Only a case-sensitive system can hold such names side by side.
TEST_F(CheckFolder, NamesDifferingOnlyInLetterCase) {
  gif("spark.gif");
  gif("Spark.gif");
  const FolderPrediction p = check();
  EXPECT_EQ(p.animations.size(), 2u);
  EXPECT_TRUE(mentions(p.mistakes, "Spark.gif, spark.gif: names that differ only in letter case") ||
              mentions(p.mistakes, "spark.gif, Spark.gif: names that differ only in letter case"));
}
#endif

}  // namespace

namespace {
std::string apng(const std::vector<std::uint32_t>& colours, std::uint16_t delayMs, std::uint32_t plays,
                 std::uint32_t size = 20) {
  std::vector<VelquorPng::ApngFrame> frames;
  for (std::uint32_t colour : colours) frames.push_back({std::vector<std::uint32_t>(size * size, colour), delayMs});
  const auto bytes = VelquorPng::encodeApng(size, size, frames, plays);
  return std::string(bytes.begin(), bytes.end());
}
}  // namespace

// PNG files by the module's own rules: which file of a texture plays, frames, delays, memory at
// 4 bytes a pixel, the settings that do not apply, and the decoder's words for a broken file.
TEST_F(CheckFolder, PngFilesPlayOverTheirGifWithTheirFramesDelaysAndMemory) {
  gif("both.gif");
  file("both.png", apng({0xFF112233, 0x80445566}, 40, 2));
  file("both.cfg", "background=1\noverride=1\nnumber_color_palette=3\n");
  file("alone.png", apng({0xFF000000}, 0, 0, 30));
  file("broken.png", apng({0xFF000000}, 0, 0).substr(0, 60));
  file("ALONE2.PNG", "x");
  const FolderPrediction p = check();

  EXPECT_EQ(reasonFor(p, "both.gif"),
            "both.png has the same texture name, and a PNG plays rather than a GIF of the same name");
  const AnimationPrediction* both = find(p, "both");
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(both->fileName, "both.png");
  EXPECT_TRUE(both->gif.accepted);
  EXPECT_EQ(both->gif.delaysMs, (std::vector<std::int64_t>{40, 40}));
  // Played twice: one repeat, as a GIF's loop count of 1, which the module ignores without loop=1.
  EXPECT_EQ(both->gif.loopCount, 1u);
  EXPECT_TRUE(mentions(both->ignored, "loop count 1: the module repeats the animation for ever"));
  EXPECT_EQ(both->gif.textureBytes, Limits::textureBytes(20, 20, 2));
  EXPECT_GE(both->gif.decodedBytes, 2u * 20 * 20 * 4) << "4 bytes a decoded pixel";
  EXPECT_TRUE(mentions(both->ignored, "Velquor/both.cfg: background=1 does not apply to Velquor/both.png"));
  EXPECT_TRUE(mentions(both->ignored, "Velquor/both.cfg: number_color_palette does not apply to Velquor/both.png"));
  EXPECT_EQ(find(p, "alone")->gif.textureBytes, Limits::textureBytes(30, 30, 1));
  const AnimationPrediction* broken = find(p, "broken");
  ASSERT_NE(broken, nullptr);
  EXPECT_FALSE(broken->gif.accepted);
  EXPECT_EQ(broken->gif.refusal.rfind("Velquor/broken.png is not a PNG Velquor can show: ", 0), 0u)
      << broken->gif.refusal;
  EXPECT_EQ(find(p, "ALONE2"), nullptr);
  EXPECT_EQ(p.animations.size(), 3u);
}

namespace {

TEST_F(CheckFolder, GifNamesAreCheckedAgainstTheNamesTheGameDrew) {
  gif("Fire.gif");
  gif("water.gif");
  gif("smok.gif");
  gif("sky.gif");
  std::string text = formatText(check());
  EXPECT_NE(text.find("put names=1 in Velquor.ini, play the game to make one"), std::string::npos) << text;

  file("names.txt", "# comment\nfire\t64x64\tDXT1\tstill\nwater\t32x32\tA8R8G8B8\tanimated\n"
                    "smoke\t8x8\tP8\tstill\nSmoke\t8x8\tP8\tstill\nskyline\t8x8\tR5G6B5\tstill\n");
  const FolderPrediction p = check();
  const struct {
    const char* texture;
    bool seen;
    std::vector<std::string> similar;
  } cases[] = {{"Fire", false, {"fire"}}, {"water", true, {}}, {"smok", false, {"smoke", "Smoke"}}, {"sky", false, {}}};
  for (const auto& c : cases) {
    const AnimationPrediction* a = find(p, c.texture);
    ASSERT_NE(a, nullptr) << c.texture;
    EXPECT_EQ(a->textureSeen, c.seen) << c.texture;
    EXPECT_EQ(a->similarSeen, c.similar) << c.texture;
  }
  EXPECT_TRUE(mentions(p.mistakes, "Fire.gif: no texture of this name was seen; did you mean \"fire\"?"));
  EXPECT_TRUE(mentions(p.mistakes, "smok.gif: no texture of this name was seen; did you mean \"smoke\" or \"Smoke\"?"));
  EXPECT_TRUE(mentions(p.mistakes, "sky.gif: no texture of this name was seen"));
  EXPECT_FALSE(mentions(p.mistakes, "water.gif"));
  EXPECT_NE(reasonFor(p, "names.txt").find("texture names the game drew"), std::string::npos);
  text = formatText(p);
  EXPECT_NE(text.find("checked against"), std::string::npos) << text;
}

}  // namespace
