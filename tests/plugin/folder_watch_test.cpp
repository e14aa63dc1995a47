#include "plugin/folder_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "plugin/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string described(const std::vector<FolderChange>& changes) {
  std::string text;
  for (const auto& change : changes) text += change.textureName + (change.gifPresent ? "+ " : "- ");
  return text;
}

class FolderWatchTest : public ::testing::Test {
 protected:
  void append(const std::string& name, const std::string& bytes) {
    folder.write(name, TempFolder::read(folder.file(name)) + bytes);
  }
  void remove(const std::string& name) { fs::remove(fs::u8path(folder.file(name))); }
  // Same size, a later time: what a tool that rewrites a file in place leaves.
  void touch(const std::string& name) {
    const auto path = fs::u8path(folder.file(name));
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(2));
  }

  TempFolder folder;
};

// Each step changes the folder (or not) and lists it once: a change is handed on at the second
// listing that finds it unchanged, and once only.
TEST_F(FolderWatchTest, ChangesAreHandedOnOnceSettled) {
  for (const char* name : {"a.gif", "b.gif", "b.cfg", "c.gif", "skip.GIF"}) folder.write(name, "GIF89a");
  FolderWatch watch(folder.path().u8string());
  struct Step {
    const char* what;
    std::function<void()> change;
    const char* handedOn;
  };
  const std::vector<Step> steps = {
      {"nothing changed", [] {}, ""},
      {"a rewritten", [&] { folder.write("a.gif", "GIF89a, longer"); }, ""},
      {"a settled", [] {}, "a+ "},
      {"a handed on once", [] {}, ""},
      {"a still being written", [&] { append("a.gif", "more"); }, ""},
      {"and written on", [&] { append("a.gif", "more"); }, ""},
      {"a complete", [] {}, "a+ "},
      {"a touched, same size", [&] { touch("a.gif"); }, ""},
      {"a touched settled", [] {}, "a+ "},
      {"d added, c removed", [&] { folder.write("d.gif", "GIF89a"); remove("c.gif"); }, ""},
      {"d and c settled", [] {}, "c- d+ "},
      {"b's settings changed", [&] { folder.write("b.cfg", "background=1\n"); }, ""},
      {"b's settings settled", [] {}, "b+ "},
      {"b's settings removed", [&] { remove("b.cfg"); }, ""},
      {"b without settings", [] {}, "b+ "},
      {"settings without a GIF, a skipped name", [&] {
         folder.write("e.cfg", "background=1\n");
         folder.write("skip.GIF", "GIF89a, longer");
         folder.write("f.gif.txt", "x");
       }, ""},
      {"nothing for them", [] {}, ""},
      {"a GIF for those settings", [&] { folder.write("e.gif", "GIF89a"); }, ""},
      {"e settled", [] {}, "e+ "},
      {"d removed and put back alike between listings", [&] {
         remove("d.gif");
         folder.write("d.gif", "GIF89a");
         touch("d.gif");
       }, ""},
      {"d settled", [] {}, "d+ "},
      {"files of other extensions beside fire.gif", [&] {
         folder.write("fire.gif", "GIF89a");
       }, ""},
      {"fire settled", [] {}, "fire+ "},
      {"fire.txt, fire.bak and fire.cfg.old written", [&] {
         for (const char* name : {"fire.txt", "fire.bak", "fire.cfg.old"}) folder.write(name, "x");
       }, ""},
      {"none of them is fire's settings", [] {}, ""},
      {"a emptied, as a save that truncates first", [&] { folder.write("a.gif", ""); }, ""},
      {"a still empty", [] {}, ""},
      {"a written again before the wait is over", [&] { folder.write("a.gif", "GIF89a, saved"); }, ""},
      {"a settled, never handed on empty", [] {}, "a+ "},
      {"a emptied again", [&] { folder.write("a.gif", ""); }, ""},
  };
  for (const auto& step : steps) {
    step.change();
    EXPECT_EQ(described(watch.check()), step.handedOn) << step.what;
  }
  // An empty GIF that stays empty is a broken file after all: handed on once the wait is over.
  const int waitLooks = static_cast<int>(FolderWatch::IncompleteWaitMs / FolderWatch::IntervalMs);
  std::string handedOn;
  for (int look = 1; look < waitLooks; ++look) handedOn += described(watch.check());
  EXPECT_EQ(handedOn, "") << "an empty file handed on while it may still be written";
  EXPECT_EQ(described(watch.check()), "a+ ");
}

// What the loader is about to make is the first listing: a change just before the first look is
// handed on at the second, as any other.
TEST_F(FolderWatchTest, AChangeBeforeTheFirstLookSettlesLikeAnyOther) {
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"removed", [&] { remove("a.gif"); }},
      {"added", [&] { folder.write("b.gif", "GIF89a"); }},
      {"rewritten", [&] { folder.write("a.gif", "GIF89a, longer"); }},
      {"settings added", [&] { folder.write("a.cfg", "background=1\n"); }},
  };
  for (const auto& change : changes) {
    for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry.path());
    folder.write("a.gif", "GIF89a");
    FolderWatch watch(folder.path().u8string());
    change.second();
    EXPECT_EQ(described(watch.check()), "") << change.first;
    EXPECT_NE(described(watch.check()), "") << change.first;
  }
}

TEST_F(FolderWatchTest, LooksAtMostOncePerInterval) {
  FolderWatch watch(folder.path().u8string());
  std::vector<bool> due;
  for (std::int64_t ms : {10'000, 10'001, 10'999, 11'000, 11'500, 12'000, 12'001})
    due.push_back(watch.lookDue(ms));
  EXPECT_EQ(due, (std::vector<bool>{true, false, false, true, false, true, false}));
  // A look that took 2.5 s: the next one waits a whole interval after it.
  watch.lookEnded(14'500);
  due.clear();
  for (std::int64_t ms : {14'600, 15'499, 15'500}) due.push_back(watch.lookDue(ms));
  EXPECT_EQ(due, (std::vector<bool>{false, false, true}));
}

// A folder deleted or renamed away holds no files: its animations go as removed files do, and
// come back with a folder of that name.
TEST_F(FolderWatchTest, AFolderThatIsGoneHasNoFiles) {
  folder.write("Velquor/a.gif", "GIF89a");
  folder.write("Velquor/b.gif", "GIF89a");
  FolderWatch watch(folder.file("Velquor"));
  const fs::path animations = fs::u8path(folder.file("Velquor")), away = fs::u8path(folder.file("away"));
  fs::rename(animations, away);
  EXPECT_EQ(described(watch.check()), "");
  EXPECT_TRUE(watch.folderJustWentMissing());
  EXPECT_EQ(described(watch.check()), "a- b- ");
  EXPECT_FALSE(watch.folderJustWentMissing()) << "said once";
  folder.write("Velquor", "a file where the folder was");
  EXPECT_EQ(described(watch.check()), "") << "a file in its place is no folder either";
  EXPECT_FALSE(watch.folderJustWentMissing());
  fs::remove(animations);
  fs::rename(away, animations);
  EXPECT_EQ(described(watch.check()), "");
  EXPECT_EQ(described(watch.check()), "a+ b+ ");
  EXPECT_FALSE(watch.folderJustWentMissing());
}

}  // namespace
