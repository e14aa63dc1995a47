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
  };
  for (const auto& step : steps) {
    step.change();
    EXPECT_EQ(described(watch.check()), step.handedOn) << step.what;
  }
}

TEST_F(FolderWatchTest, LooksAtMostOncePerInterval) {
  FolderWatch watch(folder.path().u8string());
  std::vector<bool> due;
  for (std::int64_t ms : {10'000, 10'001, 10'999, 11'000, 11'500, 12'000, 12'001})
    due.push_back(watch.lookDue(ms));
  EXPECT_EQ(due, (std::vector<bool>{true, false, false, true, false, true, false}));
}

TEST_F(FolderWatchTest, AFolderThatCannotBeListedChangesNothing) {
  folder.write("Velquor/a.gif", "GIF89a");
  FolderWatch watch(folder.file("Velquor"));
  fs::remove_all(fs::u8path(folder.file("Velquor")));
  EXPECT_EQ(described(watch.check()), "");
  EXPECT_EQ(described(watch.check()), "") << "a missing folder is not a removed file";
}

}  // namespace
