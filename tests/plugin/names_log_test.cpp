#include "plugin/names_log.h"

#include <gtest/gtest.h>

#include <set>

#include "plugin/temp_folder.h"

namespace {

std::vector<std::string> names(const std::string& path) {
  std::vector<std::string> out;
  for (const SeenTexture& t : readNamesLog(path)) out.push_back(t.name);
  return out;
}

// Two runs of the game on one file: lines reach the file at most a second apart, every name
// once, and the second run adds only names the first did not see.
TEST(NamesLog, WritesEachNameOnceAcrossRuns) {
  TempFolder folder;
  const std::string path = folder.file("names.txt");
  {
    NamesLog log(path);
    log.note({"fire", 64, 32, "DXT1", true});
    log.note({"fire", 64, 32, "DXT1", true});
    log.note({"old sign", 8, 8, "P8", false});
    EXPECT_TRUE(log.write(5'000));
    log.note({"water", 16, 16, "A8R8G8B8", false});
    EXPECT_TRUE(log.write(5'500));
    EXPECT_EQ(names(path), (std::vector<std::string>{"fire", "old sign"})) << "written within the second";
    EXPECT_TRUE(log.write(6'000));
  }
  {
    NamesLog log(path);
    log.note({"fire", 1, 1, "A8R8G8B8", false});
    log.note({"Fire", 1, 1, "A8R8G8B8", false});
    log.write(0, true);
  }
  EXPECT_EQ(names(path), (std::vector<std::string>{"fire", "old sign", "water", "Fire"}));
  const std::vector<SeenTexture> seen = readNamesLog(path);
  EXPECT_EQ(namesLogLine(seen[0]), "fire\t64x32\tDXT1\tanimated\n");
  EXPECT_EQ(namesLogLine(seen[1]), "old sign\t8x8\tP8\tstill\n");
  EXPECT_EQ(TempFolder::read(path).rfind("# ", 0), 0u) << "the file says what it is";
}

}  // namespace

#include "plugin/picked_file.h"

namespace {

TEST(PickedFile, NeverOverwritesAndAvoidsNamesWindowsRefuses) {
  const std::set<std::string> taken = {"p/fire.png", "p/fire-2.png", "p/sky.png"};
  const auto name = [&](const std::string& texture) {
    return pickedFileName("p", texture, [&](const std::string& path) { return taken.count(path) > 0; });
  };
  const std::pair<const char*, const char*> cases[] = {
      {"fire", "p/fire-3.png"}, {"sky", "p/sky-2.png"},     {"Fire", "p/Fire.png"}, {"a:b/c*?", "p/a_b_c__.png"},
      {"con", "p/con_.png"},    {"lpt1.x", "p/lpt1.x_.png"}, {"end.", "p/end._.png"}, {"", "p/_.png"}};
  for (const auto& [texture, path] : cases) EXPECT_EQ(name(texture), path) << texture;
}

}  // namespace
