#include "plugin/animation_config.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "plugin/recorded_messages.h"
#include "plugin/temp_folder.h"

namespace {

class AnimationConfigTest : public ::testing::Test {
 protected:
  std::string cfg(const std::string& bytes) { return folder.write("fire.cfg", bytes); }

  TempFolder folder;
  RecordedMessages messages;
};

TEST_F(AnimationConfigTest, MissingFileKeepsDefaultsSilently) {
  AnimationConfig config(folder.file("fire.cfg"));
  EXPECT_FALSE(config.background.has_value());
  ASSERT_TRUE(config.override.has_value());
  EXPECT_FALSE(*config.override);
  EXPECT_FALSE(config.alpha.has_value());
  EXPECT_FALSE(config.number_color_palette.has_value());
  EXPECT_EQ(config.path, folder.file("fire.cfg"));
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(AnimationConfigTest, BackgroundWithoutOverride) {
  AnimationConfig config(cfg("background=1\noverride=0\n"));
  EXPECT_EQ(config.background, true);
  EXPECT_EQ(config.override, false);
  EXPECT_TRUE(config.keepBackground());
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(AnimationConfigTest, OverrideReadsAlphaAndPaletteInAnyOrder) {
  for (const char* text : {"override=1\nbackground=0\nalpha=1\nnumber_color_palette=5\n",
                           "alpha=1\r\nnumber_color_palette=5\r\nbackground=0\r\noverride=1\r\n"}) {
    AnimationConfig config(cfg(text));
    EXPECT_EQ(config.background, false) << text;
    EXPECT_EQ(config.override, true) << text;
    EXPECT_EQ(config.alpha, std::uint8_t{1}) << text;
    EXPECT_EQ(config.number_color_palette, 5u) << text;
  }
  AnimationConfig withoutPalette(cfg("override=1\nbackground=0\nalpha=1"));
  EXPECT_FALSE(withoutPalette.number_color_palette.has_value());
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(AnimationConfigTest, MissingBackgroundLeavesOverrideOff) {
  const auto path = cfg("override=1\nalpha=7\n");
  AnimationConfig config(path);
  EXPECT_FALSE(config.background.has_value());
  EXPECT_EQ(config.override, false);
  EXPECT_FALSE(config.alpha.has_value());
  EXPECT_EQ(messages.shown(),
            (std::vector<ShownMessage>{{"background is missing: write background=0 or background=1; "
                                        "without it, override is not read",
                                        path}}));
}

TEST_F(AnimationConfigTest, MissingOverrideKeepsBackground) {
  AnimationConfig config(cfg("background=1\n"));
  EXPECT_EQ(config.background, true);
  EXPECT_EQ(config.override, false);
  EXPECT_EQ(messages.texts(),
            std::vector<std::string>{"override is missing: write override=0 or override=1"});
}

TEST_F(AnimationConfigTest, EmptyFileReportsAndKeepsDefaults) {
  AnimationConfig config(cfg(""));
  EXPECT_FALSE(config.background.has_value());
  EXPECT_EQ(config.override, false);
  EXPECT_EQ(messages.texts(),
            std::vector<std::string>{"background is missing: write background=0 or background=1"});
}

TEST_F(AnimationConfigTest, AlphaKeepsItsLowByte) {
  AnimationConfig config(cfg("alpha=300\noverride=1\nbackground=0\n"));
  EXPECT_EQ(config.alpha, std::uint8_t{44});
}

TEST_F(AnimationConfigTest, MalformedLinesAndBadValues) {
  // "alpha=" and "=5" are no settings (with either line end); "alpha=x" is one, and its value is
  // reported once. An empty value alone is no setting either: no message.
  struct Case {
    const char* text;
    std::vector<std::string> messages;
  };
  const std::vector<std::string> badAlpha{"line 6: alpha=x: not a number"};
  for (const Case& c : {Case{"alpha=\n=5\nno equals sign\nbackground=0\noverride=1\nalpha=x\n", badAlpha},
                        Case{"alpha=\r\n=5\r\nno equals sign\r\nbackground=0\r\noverride=1\r\nalpha=x\r\n", badAlpha},
                        Case{"background=0\noverride=1\nalpha=\n", {}},
                        Case{"background=0\r\noverride=1\r\nalpha=\r\n", {}}}) {
    const std::size_t before = messages.shown().size();
    AnimationConfig config(cfg(c.text));
    EXPECT_EQ(config.override, true) << c.text;
    EXPECT_FALSE(config.alpha.has_value()) << c.text;
    const std::vector<std::string> texts = messages.texts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(before), texts.end()),
              c.messages)
        << c.text;
  }
}

TEST_F(AnimationConfigTest, UnknownKeysAreCheckedOnlyUnderOverride) {
  AnimationConfig quiet(cfg("background=0\noverride=0\ncolour=red\n"));
  EXPECT_TRUE(messages.shown().empty());
  AnimationConfig loud(cfg("background=0\noverride=1\ncolour=red\n"));
  EXPECT_EQ(messages.texts(),
            std::vector<std::string>{
                "line 3: colour=red: not a number (with override=1 every line needs a number)"});
}

TEST_F(AnimationConfigTest, KeysAreExactAndLaterLinesWin) {
  AnimationConfig config(cfg("Background=1\noverride =1\n"));
  EXPECT_FALSE(config.background.has_value());
  EXPECT_EQ(messages.texts(),
            std::vector<std::string>{"background is missing: write background=0 or background=1"});

  AnimationConfig repeated(cfg("background=1\nbackground=0\noverride=1\nalpha=2\nalpha=3\n"));
  EXPECT_EQ(repeated.background, false);
  EXPECT_EQ(repeated.alpha, std::uint8_t{3});
}

TEST_F(AnimationConfigTest, FileSurvivesTheRecordUntouched) {
  // Destroying the record (as a failed animation does) must not lose anything the player wrote.
  const std::string text = "override=1\r\n# a note\nnumber_color_palette=9\nalpha=2\nmystery=?\n";
  const auto path = cfg(text);
  { AnimationConfig config(path); }
  EXPECT_EQ(TempFolder::read(path), text);
}

// Every problem of a file comes in one box captioned with its path, a line per problem naming
// the line, the key and what is wrong with the value.
TEST_F(AnimationConfigTest, ProblemsOfAFileComeInOneBoxNamingLineAndKey) {
  std::string manyBadLines = "background=0\noverride=1\n";
  std::string manyMessages;
  for (int i = 0; i < 40; ++i) {
    const std::string key = "k" + std::to_string(i);
    manyBadLines += key + "=x\n";
    manyMessages += (i ? "\n" : "") + std::string("line ") + std::to_string(i + 3) + ": " + key +
                    "=x: not a number (with override=1 every line needs a number)";
  }
  struct Case {
    std::string file, message;
  };
  const Case cases[] = {
      // Notepad's byte-order mark belongs to no key.
      {"\xEF\xBB\xBF" "background=1\r\noverride=1\r\nalpha=1\r\n", ""},
      {"background=yes\noverride=1\n",
       "line 1: background=yes: not a number; without it, override is not read"},
      {"background=0\noverride=1\nnumber_color_palette=4294967296\nalpha=-\n",
       "line 3: number_color_palette=4294967296: out of range: at most 4294967295\n"
       "line 4: alpha=-: not a number"},
      {"alpha=q\nbackground=0\nnote=hello\noverride=1\n",
       "line 1: alpha=q: not a number\n"
       "line 3: note=hello: not a number (with override=1 every line needs a number)"},
      {manyBadLines, manyMessages},
  };
  for (const Case& c : cases) {
    const auto path = cfg(c.file);
    const auto before = messages.shown().size();
    AnimationConfig config(path);
    const auto all = messages.shown();
    const std::vector<ShownMessage> shown(all.begin() + before, all.end());
    if (c.message.empty()) {
      EXPECT_TRUE(shown.empty()) << c.file;
      EXPECT_EQ(config.background, true) << c.file;
      EXPECT_EQ(config.alpha, std::uint8_t{1}) << c.file;
    } else {
      EXPECT_EQ(shown, (std::vector<ShownMessage>{{c.message, path}})) << c.file;
    }
  }
}

// disposal and loop are switches of their own: read whatever the other lines say, 0 off and any
// other number on, a bad value reported once, in the order of the lines under override=1.
TEST_F(AnimationConfigTest, DisposalAndLoopSwitches) {
  struct Case {
    std::string file;
    std::optional<bool> disposal, loop;
    std::string message;
  };
  const Case cases[] = {
      {"background=0\noverride=0\n", std::nullopt, std::nullopt, ""},
      {"background=0\noverride=0\ndisposal=1\nloop=1\n", true, true, ""},
      {"background=1\noverride=1\nalpha=1\ndisposal=0\nloop=7\n", false, true, ""},
      // A file of switches alone asks for nothing else; another key brings the usual rule back.
      {"disposal=1\n", true, std::nullopt, ""},
      {"loop=1\r\ndisposal=x\r\n", std::nullopt, true, "line 2: disposal=x: not a number"},
      {"loop=1\nalpha=3\n", std::nullopt, true, "background is missing: write background=0 or background=1"},
      {"background=0\noverride=0\ndisposal=yes\nloop=1\n", std::nullopt, true, "line 3: disposal=yes: not a number"},
      {"background=0\nloop=x\noverride=1\nalpha=q\n", std::nullopt, std::nullopt,
       "line 2: loop=x: not a number\nline 4: alpha=q: not a number"},
  };
  for (const Case& c : cases) {
    const auto path = cfg(c.file);
    const auto before = messages.shown().size();
    AnimationConfig config(path);
    EXPECT_EQ(config.disposal, c.disposal) << c.file;
    EXPECT_EQ(config.loop, c.loop) << c.file;
    EXPECT_EQ(config.frameOptions().honourDisposal, c.disposal.value_or(false)) << c.file;
    EXPECT_EQ(config.frameOptions().honourLoopCount, c.loop.value_or(false)) << c.file;
    const auto all = messages.shown();
    const std::vector<ShownMessage> shown(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    std::vector<ShownMessage> expected;
    if (!c.message.empty()) expected.push_back({c.message, path});
    EXPECT_EQ(shown, expected) << c.file;
  }
}

// Windows would open a device for these names, which may block for ever.
TEST_F(AnimationConfigTest, DeviceNamesAreNeverOpened) {
  for (const char* name : {"aux.cfg", "COM1.cfg", "nul .cfg"}) {
    const auto path = folder.write(name, "override=1\n");
    AnimationConfig config(path);
    EXPECT_FALSE(config.background.has_value()) << name;
  }
  EXPECT_TRUE(messages.shown().empty());
}

TEST(ParseUnsigned32, FollowsTheWindowsRuntime) {
  EXPECT_EQ(parseUnsigned32("1 "), 1u);
  EXPECT_EQ(parseUnsigned32("1x"), 1u);
  EXPECT_EQ(parseUnsigned32("  \t42"), 42u);
  EXPECT_EQ(parseUnsigned32("+7"), 7u);
  EXPECT_EQ(parseUnsigned32("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(parseUnsigned32("4294967295"), 0xFFFFFFFFu);
  EXPECT_THROW(parseUnsigned32("4294967296"), std::out_of_range);
  EXPECT_THROW(parseUnsigned32("-4294967296"), std::out_of_range);
  for (const char* bad : {"", " ", "x1", "-", "+ 1"}) {
    try {
      parseUnsigned32(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "stoul");
    }
  }
}

}  // namespace
