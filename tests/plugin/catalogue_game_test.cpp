// The loader and the texture manager inside the stand-in game, on folders the tests write.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <thread>

#include "framework/kel_render_events.h"
#include "game/standin_api.h"
#include "gif/frame_list.h"
#include "plugin/animation.h"
#include "plugin/load_animations.h"
#include "plugin/module_objects.h"
#include "plugin/asi_plugin.h"
#include "plugin/catalogue.h"
#include "plugin/fake_records.h"
#include "plugin/folder_listing.h"
#include "plugin/module_log.h"
#include "plugin/recorded_messages.h"
#include "plugin/temp_folder.h"
#include "plugin/test_gifs.h"
#include "testing_clock.h"

namespace fs = std::filesystem;

namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  ~CatalogueTest() override {
    // Animations live until the process ends in the game; a test gives them back itself.
    for (auto& [name, animation] : catalogue) delete animation;
  }
  void gif(const std::string& name, const GifBytes& bytes = TestGifs::threeColours(4)) {
    folder.write(name, std::string(bytes.begin(), bytes.end()));
  }
  void manyGifs(int count) {
    char name[32];
    for (int i = 0; i < count; ++i) {
      std::snprintf(name, sizeof name, "anim%02d.gif", i);
      gif(name);
    }
  }
  // The texture names in the order the folder lists them.
  std::vector<std::string> listed() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path()))
      if (entry.path().extension() == ".gif") names.push_back(entry.path().stem().u8string());
    return names;
  }
  void load() {
    std::atomic<bool> loaded{false};
    loadAnimations(catalogue, loaded, folder.path().u8string());
    EXPECT_TRUE(loaded.load());
  }
  std::map<AnimationState, int> states() const {
    std::map<AnimationState, int> count;
    for (const auto& entry : catalogue) ++count[entry.second->state()];
    return count;
  }

  TempFolder folder;
  RecordedMessages messages;
  Catalogue catalogue;
};

TEST_F(CatalogueTest, OnlyExactGifFilesOfTheFolderItself) {
  gif("fire.gif");
  gif("Fire2.GIF");
  gif("smoke/smoke.gif");
  gif("a.b.gif");
  folder.write("notes.txt", "x");
  load();
  std::vector<std::string> names;
  for (const auto& entry : catalogue) names.push_back(entry.first);
  EXPECT_EQ(names, (std::vector<std::string>{"a.b", "fire"}));
  EXPECT_EQ(states()[AnimationState::Decoded], 2);
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(CatalogueTest, EmptyFolderStillFinishes) {
  load();
  EXPECT_TRUE(catalogue.empty());
}

TEST_F(CatalogueTest, FirstFiftyAreDecodedAtOnce) {
  manyGifs(60);
  load();
  ASSERT_EQ(catalogue.size(), 60u);
  EXPECT_EQ(states()[AnimationState::Decoded], 50);
  EXPECT_EQ(states()[AnimationState::Unloaded], 10);
  const auto order = listed();
  for (std::size_t i = 0; i < order.size(); ++i)
    EXPECT_EQ(catalogue.at(order[i])->state(),
              i < 50 ? AnimationState::Decoded : AnimationState::Unloaded) << order[i];
}

TEST_F(CatalogueTest, CorruptFileAmongTheFirstFiftyIsReportedAndDoesNotCount) {
  manyGifs(52);
  const std::string bad = listed().at(3);
  gif(bad + ".gif", TestGifs::corrupt());
  load();
  EXPECT_EQ(messages.shown(),
            (std::vector<ShownMessage>{{"GIF file is corrupt!", "Can't load animation " + bad}}));
  EXPECT_EQ(catalogue.count(bad), 0u);
  EXPECT_EQ(catalogue.size(), 51u);
  EXPECT_EQ(states()[AnimationState::Decoded], 50);
  EXPECT_EQ(catalogue.at(listed().back())->state(), AnimationState::Unloaded);
}

TEST_F(CatalogueTest, CorruptFileBeyondTheFirstFiftyFailsAtFirstUse) {
  manyGifs(55);
  const std::string bad = listed().at(53);
  gif(bad + ".gif", TestGifs::corrupt());
  load();
  EXPECT_TRUE(messages.shown().empty());
  Animation* animation = catalogue.at(bad);
  FakeRaster host(0x12);
  EXPECT_EQ(animation->rasterFor(host.raster()), host.raster());
  // Decoded off the game's thread, it fails some uses later; the game loop shows the box.
  for (int i = 0; i < 10'000 && !animation->failed(); ++i) {
    EXPECT_EQ(animation->rasterFor(host.raster()), host.raster());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(animation->rasterFor(host.raster()), host.raster());
  showGameLoopMessageBoxes();
  EXPECT_EQ(messages.shown().size(), 1u);
}

class AsiPluginTest : public ::testing::Test {
 protected:
  void gif(const std::string& name) {
    const auto bytes = TestGifs::threeColours(4);
    folder.write("Velquor/" + name + ".gif", std::string(bytes.begin(), bytes.end()));
  }
  std::string animationFolder() const { return (folder.path() / "Velquor").u8string(); }

  TempFolder folder;
  RecordedMessages messages;
};

TEST_F(AsiPluginTest, SubstitutesExactNamesOnly) {
  // The longest name a game texture can have; one letter more is never loaded.
  const std::string longName(31, 'q');
  gif("fire");
  gif(longName);
  gif(longName + "q");
  AsiPlugin plugin(animationFolder());
  ASSERT_EQ(plugin.catalogue().size(), 2u);
  FakeRaster host(0x21);

  RwRaster* raster = host.raster();
  plugin.substitute(FakeTexture("fire").record(), raster);
  EXPECT_NE(raster, host.raster());
  EXPECT_EQ(plugin.catalogue().at("fire")->state(), AnimationState::Uploaded);

  for (const char* other : {"Fire", "fir", "fire2", ""}) {
    raster = host.raster();
    plugin.substitute(FakeTexture(other).record(), raster);
    EXPECT_EQ(raster, host.raster()) << other;
  }
  raster = host.raster();
  plugin.substitute(nullptr, raster);
  EXPECT_EQ(raster, host.raster());

  raster = host.raster();
  plugin.substitute(FakeTexture(longName).record(), raster);
  EXPECT_NE(raster, host.raster());
  raster = host.raster();
  plugin.substitute(FakeTexture(longName + "q").record(), raster);
  EXPECT_EQ(raster, host.raster());

  RwRaster* none = nullptr;
  plugin.substitute(FakeTexture("fire").record(), none);
  EXPECT_EQ(none, nullptr);
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(AsiPluginTest, MakesAMissingFolder) {
  AsiPlugin plugin(animationFolder());
  EXPECT_TRUE(fs::is_directory(folder.path() / "Velquor"));
  EXPECT_TRUE(plugin.catalogue().empty());
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(AsiPluginTest, FileInTheWayOfTheFolderIsKept) {
  folder.write("Velquor", "the player's own file");
  AsiPlugin plugin(animationFolder());
  EXPECT_EQ(TempFolder::read(folder.file("Velquor")), "the player's own file");
  EXPECT_TRUE(plugin.catalogue().empty());
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].caption, "Can't create folder " + animationFolder());
}

TEST_F(AsiPluginTest, APluginThatFailsToStartIsNeverReachedByTheDrawSignal) {
  renderEvents = new KelRenderEvents();
  folder.write("Velquor", "the player's own file");
  // The box about the folder fails: the plugin's construction ends there, by an exception.
  setMessageBoxHandler([](const std::string&, const std::string&, unsigned) -> int {
    throw std::runtime_error("no box today");
  });
  EXPECT_THROW(AsiPlugin plugin(animationFolder()), std::runtime_error);
  setMessageBoxHandler(nullptr);
  EXPECT_FALSE(renderEvents->draw.hasConnections());
  renderEvents->draw();
  delete renderEvents;
  renderEvents = nullptr;
}

TEST_F(AsiPluginTest, TrimGivesBackWhatIsNotDrawn) {
  ManualClock clock(10'000'000);
  gif("fire");
  gif("water");
  AsiPlugin plugin(animationFolder());
  FakeRaster host(0x31);
  RwRaster* raster = host.raster();
  plugin.substitute(FakeTexture("fire").record(), raster);
  Animation* fire = plugin.catalogue().at("fire");
  Animation* water = plugin.catalogue().at("water");
  ASSERT_EQ(fire->state(), AnimationState::Uploaded);

  // Preloaded but not drawn yet: its idle time counts from its loading, not from 0.
  clock.advanceMs(Trim::PassInterval);
  plugin.trim();
  EXPECT_EQ(water->state(), AnimationState::Decoded);
  EXPECT_EQ(fire->state(), AnimationState::Uploaded);

  clock.advanceMs(16 * 60'000);
  plugin.trim();
  EXPECT_EQ(fire->state(), AnimationState::Decoded);
  EXPECT_EQ(water->state(), AnimationState::Decoded);
  clock.advanceMs(45 * 60'000);
  plugin.trim();
  EXPECT_EQ(fire->state(), AnimationState::Unloaded);
  EXPECT_EQ(water->state(), AnimationState::Unloaded);

  // Decoded again off the game's thread: it comes back at a use after the first.
  for (int i = 0; i < 10'000 && fire->state() != AnimationState::Uploaded; ++i) {
    raster = host.raster();
    plugin.substitute(FakeTexture("fire").record(), raster);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(fire->state(), AnimationState::Uploaded);
}

// Game-loop passes, each with the clock moved on by stepMs and a little real time for the worker,
// until done() says so; false when it never does.
template <typename Done>
bool passUntil(AsiPlugin& plugin, ManualClock& clock, std::int64_t stepMs, Done&& done) {
  for (int pass = 0; pass < 3'000; ++pass) {
    clock.advanceMs(stepMs);
    plugin.trim();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// Files changed while the game runs: what takes a texture's place, when, and for how long.
TEST_F(AsiPluginTest, ChangedFilesTakeTheirPlaceWhenTheyShould) {
  ManualClock clock(10'000'000);
  gif("fire");
  gif("cut");
  AsiPlugin plugin(animationFolder());
  const auto now = [&](const char* name) {
    const auto found = plugin.catalogue().find(name);
    return found == plugin.catalogue().end() ? nullptr : found->second;
  };
  Animation* const fire = now("fire");
  Animation* const cut = now("cut");

  // Every pass a trim pass too: a new animation is not idle since the clock's start.
  const GifBytes saved = TestGifs::animated(8, 8, {{1, 10}, {2, 10}});
  folder.write("Velquor/fire.gif", std::string(saved.begin(), saved.end()));
  ASSERT_TRUE(passUntil(plugin, clock, Trim::PassInterval, [&] { return now("fire") != fire; }));
  EXPECT_NE(now("fire")->state(), AnimationState::Unloaded) << "dropped as it took its place";

  // A GIF without its trailer may be one still being written: the old frames stay a while, then
  // what it has plays, said once in the log.
  const GifBytes whole = TestGifs::threeColours(4);
  folder.write("Velquor/cut.gif", std::string(whole.begin(), whole.end() - 1));
  const std::int64_t written = clock.ms();
  ASSERT_TRUE(passUntil(plugin, clock, 100, [&] { return now("cut") != cut; }));
  EXPECT_GE(clock.ms() - written, FolderWatch::IncompleteWaitMs) << "taken for a finished file";
  FakeRaster host(0x41);
  RwRaster* raster = host.raster();
  ASSERT_TRUE(passUntil(plugin, clock, 16, [&] {
    raster = host.raster();
    plugin.substitute(FakeTexture("cut").record(), raster);
    return raster != host.raster();
  }));
  EXPECT_EQ(now("cut")->frames()->frames.size(), 3u);
  EXPECT_EQ(timesLogged(cutShortText(animationFolder() + "/cut.gif", 3)), 1);

  // The folder renamed away: every texture goes back to the game, said once; it comes back with
  // the folder.
  fs::rename(folder.path() / "Velquor", folder.path() / "away");
  ASSERT_TRUE(passUntil(plugin, clock, 100, [&] { return plugin.catalogue().empty(); }));
  EXPECT_EQ(timesLogged(folderGoneText(animationFolder())), 1);
  fs::rename(folder.path() / "away", folder.path() / "Velquor");
  ASSERT_TRUE(passUntil(plugin, clock, 100, [&] { return plugin.catalogue().size() == 2; }));
  EXPECT_TRUE(messages.shown().empty());
}

}  // namespace
