// Pick mode of the real Velquor.asi in the stand-in game, run as a modder would: the names log
// on, pick mode turned on with its key, a texture stepped to, seen highlighted with its text on
// screen, its picture saved and compared with the texture's own pixels for every format, and
// names.txt after a second run of the module. The cases share one game and run in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "game/picture_scene.h"
#include "game/standin_api.h"
#include "plugin/game_folder.h"
#include "plugin/names_log.h"
#include "plugin/png_file.h"
#include "plugin/texture_format_names.h"

namespace {

constexpr std::uint32_t Yellow = 0xFFFFFF00;  // the highlight pattern's bright colour
constexpr int PickKey = VK_F9, NextKey = VK_NEXT, SaveKey = VK_F11;

StandinGame& game() { return standinGame(); }

GameFolder& folder() {
  static GameFolder* made = [] {
    auto* f = new GameFolder();
    f->moduleSettings("names=1\n");
    f->gif("fire.gif");
    return f;
  }();
  return *made;
}

std::vector<Standin::TextureSpec> scene() {
  auto specs = PictureScene::everyFormat();
  specs.push_back({"fire", 32, 32, 0xFFFF0000, 0x7FDFDA});
  return specs;
}

void press(int key) {
  game().sendKey(key, true);
  game().sendKey(key, false);
}

// Pixels of a texture's cell (its quad) in a capture.
int countInCell(const Standin::Capture& c, const std::string& name, std::uint32_t colour) {
  const Standin::Point centre = game().cellCentre(name);
  int count = 0;
  for (int y = centre.y - 16; y < centre.y + 16; ++y)
    for (int x = centre.x - 16; x < centre.x + 16; ++x) count += c.at(x, y) == colour;
  return count;
}

// The text box stands at the bottom left, below the scene's cells: its bright pixels, in order.
std::vector<std::uint32_t> textPixels(const Standin::Capture& c) {
  std::vector<std::uint32_t> bright;
  for (int y = c.height - 80; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      if ((c.at(x, y) & 0xFF) > 200 && ((c.at(x, y) >> 8) & 0xFF) > 200) bright.push_back(y * c.width + x);
  return bright;
}

std::vector<std::string> namesInLog() {
  std::vector<std::string> names;
  for (const SeenTexture& t : readNamesLog(folder().path(std::string(NamesLogFile)))) names.push_back(t.name);
  return names;
}

TEST(Picker, StepsToATextureAndShowsItHighlightedWithItsName) {
  folder();
  game().setScene(scene());
  game().runFrames(3);
  const Standin::Capture off = game().captureFrame();
  EXPECT_TRUE(textPixels(off).empty()) << "no text while pick mode is off";

  press(PickKey);
  game().runFrames(2);
  press(NextKey);  // the first texture drawn in the last frame
  int highlighted = 0, plain = 0;
  std::vector<std::uint32_t> firstText;
  for (int i = 0; i < 200 && (highlighted < 2 || plain < 2); ++i) {
    const Standin::Capture c = game().captureFrame();
    const int yellow = countInCell(c, "pic_A8R8G8B8", Yellow);
    (yellow > 32 * 32 / 3 ? highlighted : plain) += 1;
    EXPECT_EQ(countInCell(c, "pic_DXT1", Yellow), 0) << "only the picked texture is highlighted";
    if (firstText.empty()) firstText = textPixels(c);
    Sleep(20);
  }
  EXPECT_GE(highlighted, 2) << "the picked texture is drawn highlighted";
  EXPECT_GE(plain, 2) << "the highlight blinks";
  EXPECT_GT(firstText.size(), 100u) << "its name, size and format stand on screen";
  const std::vector<std::uint32_t> beforeReset = textPixels(game().captureFrame());
  EXPECT_EQ(game().resetDevice(), 0L) << "nothing of pick mode's in the default pool holds up a reset";
  EXPECT_EQ(textPixels(game().captureFrame()), beforeReset) << "the same text after the reset";

  press(NextKey);
  game().runFrames(1);
  EXPECT_NE(textPixels(game().captureFrame()), beforeReset) << "another texture, another text";
  press(PickKey);
  game().runFrames(1);
  const Standin::Capture after = game().captureFrame();
  EXPECT_TRUE(textPixels(after).empty()) << "pick mode off: no text";
  EXPECT_EQ(countInCell(after, "pic_X8R8G8B8", Yellow), 0);
}

TEST(Picker, SavesEachFormatAsTheTextureHasIt) {
  press(PickKey);
  game().runFrames(2);
  const auto specs = scene();
  for (const auto& spec : specs) {
    press(NextKey);  // textures are drawn in scene order
    press(SaveKey);
    game().runFrames(2);
    const PngPicture saved = readPngFile(folder().path("picked/" + spec.name + ".png"));
    ASSERT_EQ(saved.error, "") << spec.name;
    ASSERT_EQ(saved.width, spec.width) << spec.name;
    ASSERT_EQ(saved.height, spec.height) << spec.name;
    if (spec.format == 0) {
      EXPECT_EQ(saved.pixels.front(), spec.argb) << spec.name;
      continue;
    }
    const int worst = PictureScene::worstDifference(
        spec, [&](int x, int y) { return saved.pixels[static_cast<std::size_t>(y) * saved.width + x]; },
        spec.format != textureFormatByName("A1R5G5B5"));
    EXPECT_LE(worst, Standin::pictureTolerance(spec.format)) << spec.name;
  }
  press(SaveKey);  // fire again: a file of its own
  game().runFrames(2);
  EXPECT_TRUE(std::ifstream(folder().path("picked/fire-2.png")).good());
  press(PickKey);
  game().runFrames(1);
}

// The log is written at most a second after a name is first drawn.
void runUntilLogged(std::size_t names) {
  for (int i = 0; i < 300 && namesInLog().size() < names; ++i) {
    game().runFrames(1);
    Sleep(10);
  }
}

TEST(Picker, NamesLogHoldsEachNameOnceAfterTwoRuns) {
  std::vector<std::string> expected;
  for (const auto& spec : scene()) expected.push_back(spec.name);
  runUntilLogged(expected.size());
  std::vector<std::string> names = namesInLog();
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  for (const SeenTexture& t : readNamesLog(folder().path(std::string(NamesLogFile))))
    EXPECT_EQ(t.animated, t.name == "fire") << t.name;

  // A second run of the module on the same folder, in a scene with one more texture.
  char path[MAX_PATH] = {};
  HMODULE module = GetModuleHandleA("Velquor.asi");
  ASSERT_NE(module, nullptr);
  GetModuleFileNameA(module, path, MAX_PATH);
  ASSERT_TRUE(game().unloadModule(module));
  auto more = scene();
  more.push_back({"newcomer", 8, 8, 0xFF00FF00, 0x728570});
  game().setScene(more);
  ASSERT_NE(game().loadModule(path), nullptr);
  runUntilLogged(expected.size() + 1);
  game().runFrames(5);
  names = namesInLog();
  EXPECT_EQ(names.size(), expected.size() + 1);
  EXPECT_EQ(names.back(), "newcomer");
}

}  // namespace
