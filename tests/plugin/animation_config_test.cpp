#include "plugin/animation_config.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(messages.shown(), (std::vector<ShownMessage>{{"stoul", path}}));
}

TEST_F(AnimationConfigTest, MissingOverrideKeepsBackground) {
  AnimationConfig config(cfg("background=1\n"));
  EXPECT_EQ(config.background, true);
  EXPECT_EQ(config.override, false);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"stoul"});
}

TEST_F(AnimationConfigTest, EmptyFileReportsAndKeepsDefaults) {
  AnimationConfig config(cfg(""));
  EXPECT_FALSE(config.background.has_value());
  EXPECT_EQ(config.override, false);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"stoul"});
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
    std::size_t messages;
  };
  for (const Case& c : {Case{"alpha=\n=5\nno equals sign\nbackground=0\noverride=1\nalpha=x\n", 1},
                        Case{"alpha=\r\n=5\r\nno equals sign\r\nbackground=0\r\noverride=1\r\nalpha=x\r\n", 1},
                        Case{"background=0\noverride=1\nalpha=\n", 0},
                        Case{"background=0\r\noverride=1\r\nalpha=\r\n", 0}}) {
    const std::size_t before = messages.shown().size();
    AnimationConfig config(cfg(c.text));
    EXPECT_EQ(config.override, true) << c.text;
    EXPECT_FALSE(config.alpha.has_value()) << c.text;
    const std::vector<std::string> texts = messages.texts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(before), texts.end()),
              std::vector<std::string>(c.messages, "stoul"))
        << c.text;
  }
}

TEST_F(AnimationConfigTest, UnknownKeysAreCheckedOnlyUnderOverride) {
  AnimationConfig quiet(cfg("background=0\noverride=0\ncolour=red\n"));
  EXPECT_TRUE(messages.shown().empty());
  AnimationConfig loud(cfg("background=0\noverride=1\ncolour=red\n"));
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"stoul"});
}

TEST_F(AnimationConfigTest, KeysAreExactAndLaterLinesWin) {
  AnimationConfig config(cfg("Background=1\noverride =1\n"));
  EXPECT_FALSE(config.background.has_value());
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"stoul"});

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
