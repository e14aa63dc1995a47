// Which file of a texture plays when it has a GIF and a PNG (the loader's listing, the live
// folder's watch), and what a PNG makes of its settings.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>

#include "plugin/animation_config.h"
#include "plugin/folder_listing.h"
#include "plugin/folder_watch.h"
#include "plugin/png_settings.h"
#include "plugin/recorded_messages.h"
#include "plugin/temp_folder.h"

namespace fs = std::filesystem;

TEST(PngAnimationFile, ThePngPlaysOverItsGifInTheListingAndTheWatch) {
  TempFolder folder;
  const std::string base = animationBase(folder.path().u8string(), "fire");
  auto chosen = [&] {
    const AnimationFileChoice choice = chooseAnimationFile(base);
    return choice.path.substr(base.size()) + (choice.skipped.empty() ? "" : " over " + choice.skipped);
  };
  EXPECT_EQ(chosen(), ".gif");  // neither: where a GIF would be
  folder.write("fire.gif", "GIF89a");
  EXPECT_EQ(chosen(), ".gif");
  folder.write("fire.png", "png");
  EXPECT_EQ(chosen(), ".png over fire.gif");
  EXPECT_EQ(losingFileReason(chooseAnimationFile(base).path),
            "fire.png has the same texture name, and a PNG plays rather than a GIF of the same name");
  fs::remove(fs::u8path(folder.file("fire.gif")));
  EXPECT_EQ(chosen(), ".png");
  fs::create_directory(fs::u8path(folder.file("fire.gif")));  // a folder is no file
  EXPECT_EQ(chosen(), ".png");
  fs::remove(fs::u8path(folder.file("fire.gif")));

  // ".PNG" is no PNG of the folder, even where names ignore case: the GIF plays.
  folder.write("fire.gif", "GIF89a");
  fs::remove(fs::u8path(folder.file("fire.png")));
  folder.write("fire.PNG", "png");
  EXPECT_EQ(chosen(), ".gif");
  std::map<std::string, ListedKind> listed;
  auto list = [&] {
    listed.clear();
    listAnimationFolder(folder.path().u8string(), [&](const ListedEntry& e) { listed[e.fileName] = e.kind; });
  };
  list();
  EXPECT_EQ(listed["fire.gif"], ListedKind::Animation);
  EXPECT_EQ(listed["fire.PNG"], ListedKind::NotGif);
  // Both kinds are listed as animations of the same texture.
  fs::remove(fs::u8path(folder.file("fire.PNG")));
  folder.write("fire.png", "png");
  list();
  EXPECT_EQ(listed["fire.gif"], ListedKind::Animation);
  EXPECT_EQ(listed["fire.png"], ListedKind::Animation);

  // The watch follows the file that plays: a GIF changed beside its PNG changes nothing.
  FolderWatch watch(folder.path().u8string());
  auto changes = [&] {
    watch.check();
    std::string text;
    for (const FolderChange& change : watch.check()) text += change.textureName + (change.gifPresent ? "+" : "-");
    return text;
  };
  folder.write("fire.gif", "GIF89a, longer");
  EXPECT_EQ(changes(), "");
  folder.write("fire.png", "png, longer");
  EXPECT_EQ(changes(), "fire+");
  fs::remove(fs::u8path(folder.file("fire.png")));
  EXPECT_EQ(changes(), "fire+");  // the GIF plays again
  fs::remove(fs::u8path(folder.file("fire.gif")));
  EXPECT_EQ(changes(), "fire-");
}

TEST(PngAnimationFile, SettingsThatDoNotApplyAreNamedAndPartialAlphaIsBlended) {
  TempFolder folder;
  RecordedMessages messages;
  struct Case {
    const char* cfg;
    int notApplying;
    int alphaOpaque, alphaPartial;  // -1: the game raster's own flag
  };
  const Case cases[] = {
      {nullptr, 0, -1, 1},  // no settings file
      {"disposal=1\nloop=1\n", 0, -1, 1},
      {"background=0\noverride=0\n", 0, -1, 1},
      {"background=1\noverride=0\n", 1, -1, 1},
      {"background=0\noverride=1\nalpha=0\n", 0, 0, 0},           // the settings say otherwise
      {"background=1\noverride=1\nnumber_color_palette=3\n", 2, -1, 1},
      {"background=0\noverride=1\nalpha=7\nnumber_color_palette=3\n", 1, 7, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cfg ? c.cfg : "(none)");
    const AnimationConfig config(c.cfg ? folder.write("fire.cfg", c.cfg) : folder.file("none.cfg"));
    const std::vector<std::string> lines = settingsNotForPng(config, "Velquor/fire.png");
    EXPECT_EQ(static_cast<int>(lines.size()), c.notApplying);
    for (const std::string& line : lines) {
      EXPECT_EQ(line.rfind(config.path + ": ", 0), 0u) << line;
      EXPECT_NE(line.find("does not apply to Velquor/fire.png"), std::string::npos) << line;
    }
    auto flag = [](std::optional<std::uint8_t> alpha) { return alpha ? int{*alpha} : -1; };
    EXPECT_EQ(flag(rasterAlphaFlag(config, false)), c.alphaOpaque);
    EXPECT_EQ(flag(rasterAlphaFlag(config, true)), c.alphaPartial);
  }
  for (const ShownMessage& shown : messages.shown()) ADD_FAILURE() << shown.text;
}
