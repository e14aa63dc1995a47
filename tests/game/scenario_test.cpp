// The scenario reader, the trace lines and the layout of the game's code, without Windows.
#include <gtest/gtest.h>

#include <fstream>

#include "game/game_code.h"
#include "game/scenario.h"
#include "game/trace_writer.h"

namespace {

using Standin::Scenario;
using Standin::ScenarioError;

TEST(ScenarioReader, DefaultsDescribeAShortRunWithOneTexturePerSite) {
  Scenario s = Standin::parseCommandLine({});
  EXPECT_EQ(s.frames, 3);
  EXPECT_EQ(s.direct3DPass, 0);
  EXPECT_TRUE(s.drawing);
  ASSERT_EQ(s.textures.size(), 5u);
  for (const auto& t : s.textures) EXPECT_TRUE(Standin::isTextureSite(t.site)) << t.name;
}

TEST(ScenarioReader, CommandLineOptionsAreDirectivesWithCommasForSpaces) {
  Scenario s = Standin::parseCommandLine({"--frames", "7", "--d3d", "never", "--texture",
                                          "fire,32,16,80ff0000,0x7FDFDA,alpha", "--texture",
                                          "sky,8,8,00ff00,0x728570,palette", "--key", "2,0x10,press,extended",
                                          "--message", "1,0x400,5,-1,post", "--no_asi", "--", "--gtest_filter=A.*"});
  EXPECT_EQ(s.frames, 7);
  EXPECT_EQ(s.direct3DPass, Standin::Never);
  ASSERT_EQ(s.textures.size(), 2u);  // the first texture replaces the default scene
  EXPECT_EQ(s.textures[0].name, "fire");
  EXPECT_EQ(s.textures[0].width, 32);
  EXPECT_EQ(s.textures[0].height, 16);
  EXPECT_EQ(s.textures[0].argb, 0x80FF0000u);
  EXPECT_EQ(s.textures[0].site, 0x7FDFDAu);
  EXPECT_TRUE(s.textures[0].alpha);
  EXPECT_EQ(s.textures[1].argb, 0xFF00FF00u);  // six digits: opaque
  EXPECT_TRUE(s.textures[1].palette);
  ASSERT_EQ(s.keys.size(), 1u);
  EXPECT_TRUE(s.keys[0].down && s.keys[0].up && s.keys[0].extended);
  ASSERT_EQ(s.messages.size(), 1u);
  EXPECT_EQ(s.messages[0].message, 0x400u);
  EXPECT_EQ(s.messages[0].lParam, -1);
  EXPECT_TRUE(s.messages[0].post);
  EXPECT_TRUE(s.noModules);
  EXPECT_EQ(s.driverArgs, (std::vector<std::string>{"--gtest_filter=A.*"}));
}

TEST(ScenarioReader, FilesAllowCommentsAndNameTheFaultyLine) {
  Scenario s;
  Standin::applyScenarioText(s, "# a run\r\nframe_time 5\nframes 4   # four\n\nreset 2\nreset 3\ncapture 1 out.png\ndraw off\n");
  EXPECT_EQ(s.frames, 4);
  EXPECT_FALSE(s.drawing);
  EXPECT_EQ(s.frameTimeMs, 5);
  EXPECT_EQ(s.resets, (std::vector<int>{2, 3}));
  ASSERT_EQ(s.captures.size(), 1u);
  EXPECT_EQ(s.captures[0].file, "out.png");
  try {
    Standin::applyScenarioText(s, "frames 1\nframes two\n");
    FAIL() << "no error";
  } catch (const ScenarioError& e) {
    EXPECT_STREQ(e.what(), "line 2: bad frames: two");
  }
}

TEST(ScenarioReader, DictionariesAreDefinedThenLoadedAndUnloadedAtFrames) {
  Scenario s;
  Standin::applyScenarioText(s, "dictionary hills rock 16 16 808080 0x7FDFDA palette\n"
                                "dictionary hills lava 32 32 ff4000 0x728320 alpha\nload 2 hills\nunload 5 hills\n");
  ASSERT_EQ(s.dictionaries["hills"].size(), 2u);
  EXPECT_EQ(s.dictionaries["hills"][1].name, "lava");
  EXPECT_TRUE(s.dictionaries["hills"][1].alpha);
  ASSERT_EQ(s.streaming.size(), 2u);
  EXPECT_TRUE(s.streaming[0].load && s.streaming[0].frame == 2);
  EXPECT_FALSE(s.streaming[1].load);
  EXPECT_EQ(s.textures.size(), 5u) << "the scene stays the default";
  EXPECT_THROW(Standin::applyDirective(s, "load 1 caves"), ScenarioError) << "not defined";
}

TEST(ScenarioReader, ScenarioDirectiveReadsAFile) {
  const std::string path = testing::TempDir() + "standin_scenario.txt";
  std::ofstream(path) << "frames 9\nd3d 2\n";
  Scenario s = Standin::parseCommandLine({"--scenario", path, "--frames", "1"});
  EXPECT_EQ(s.frames, 1);  // later directives win
  EXPECT_EQ(s.direct3DPass, 2);
  EXPECT_THROW(Standin::parseCommandLine({"--scenario", path + ".missing"}), ScenarioError);
}

// A texture's format makes it a picture; P8 takes its colours from a palette record.
TEST(ScenarioReader, TextureFormatsAreNamedInAnyLetterCase) {
  Scenario s = Standin::parseCommandLine({"--texture", "a,64,64,ff0000,0x728320,DXT5,alpha", "--texture",
                                          "b,8,8,ff0000,0x728320,p8", "--texture", "c,8,8,ff0000,0x728320"});
  ASSERT_EQ(s.textures.size(), 3u);
  EXPECT_EQ(s.textures[0].format, 0x35545844u);
  EXPECT_TRUE(s.textures[0].alpha);
  EXPECT_EQ(s.textures[1].format, 41u);
  EXPECT_TRUE(s.textures[1].palette);
  EXPECT_EQ(s.textures[2].format, 0u);
}

TEST(ScenarioReader, RefusesWhatTheGameCannotDo) {
  for (const char* bad : {"texture fire 64 64 ff0000 0x728321", "texture fire 0 64 ff0000 0x728320",
                          "texture fire 64 64 red 0x728320", "texture fire 64 64 ff0000 0x728320 shiny",
                          "texture abcdefghijabcdefghijabcdefghijab 8 8 ff0000 0x728320", "frames -1",
                          "frames 3 4", "key 1 65 hold", "message 1 0x10000 0 0", "extension_offset 40",
                          "window 10 10", "d3d soon", "draw no", "draw", "nonsense 1",
                          "texture fire 62 64 ff0000 0x728320 dxt1", "texture fire 64 64 ff0000 0x728320 a4l4"}) {
    Scenario s;
    EXPECT_THROW(Standin::applyDirective(s, bad), ScenarioError) << bad;
  }
  EXPECT_THROW(Standin::parseCommandLine({"--frames"}), ScenarioError);
  EXPECT_THROW(Standin::parseCommandLine({"frames", "3"}), ScenarioError);
}

TEST(TraceLines, AreOneJsonObjectWithEscapedText) {
  std::string line = Standin::JsonLine("message_box")
                         .field("frame", 3LL)
                         .field("text", "say \"hi\"\n\\ \x01")
                         .field("ok", true)
                         .hex("site", 0x728320)
                         .raw("list", "[1,2]")
                         .text();
  EXPECT_EQ(line,
            "{\"event\":\"message_box\",\"frame\":3,\"text\":\"say \\\"hi\\\"\\n\\\\ \\u0001\",\"ok\":true,"
            "\"site\":\"0x728320\",\"list\":[1,2]}");
  EXPECT_EQ(Standin::hexBytes({0xE8, 0x0A, 0xFF}), "E80AFF");
}

TEST(GameCode, RoutinesDoNotOverlapAndEveryListedSiteIsWritten) {
  Standin::GameCode code = Standin::buildGameCode();
  auto covered = [&](std::uint32_t address, std::uint32_t size) {
    for (const auto& piece : code.pieces)
      if (address >= piece.address && address + size <= piece.address + piece.bytes.size()) return true;
    return false;
  };
  for (auto [site, size] : {std::pair<std::uint32_t, std::uint32_t>{0x748DA3, 6}, {0x7FDFDA, 5}, {0x728320, 5},
                            {0x58D872, 5}, {0x72837F, 6}, {0x728570, 8}, {0x53EBF5, 5}, {0x7F8152, 5},
                            {0x4CC979, 5}, {0x541DF5, 5}, {0x53F417, 5}, {0x53F41F, 4}, {0x6194A0, 5},
                            {0x541BD0, 7}, {0x541DD0, 7}, {0x531140, 6}, {0x746ED0, 6}})
    EXPECT_TRUE(covered(site, size)) << std::hex << site;
  EXPECT_EQ(code.routines.useTexture.size(), Standin::textureSiteAddresses().size());
  // Nothing the stand-in keeps for itself may lie on a game address the module knows.
  EXPECT_FALSE(covered(Standin::Private::ServiceSlots, 4));
  EXPECT_LT(0xC97C28u + 4, Standin::Private::ServiceSlots);
}

}  // namespace
