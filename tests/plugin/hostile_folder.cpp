#include "plugin/hostile_folder.h"

#include <stdexcept>

#include "plugin/test_gifs.h"

namespace {

std::string text(const GifBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class Builder {
 public:
  explicit Builder(HostileFolder& folder) : folder_(folder) {}

  void file(const std::string& name, const std::string& bytes) { folder_.files.push_back({name, bytes}); }
  void gif(const std::string& texture, const GifBytes& bytes) { file(texture + ".gif", text(bytes)); }
  void hostile(const std::string& texture, const GifBytes& bytes, Expect expect) {
    gif(texture, bytes);
    drawn(texture, expect);
  }
  void drawn(const std::string& texture, Expect expect) {
    if (texture.size() > 31) throw std::logic_error("no game texture is called " + texture);
    folder_.hostile.push_back({texture, expect});
  }
  void shown(const ShownAnimation& animation, const GifBytes& bytes) {
    gif(animation.texture, bytes);
    folder_.shown.push_back(animation);
  }

 private:
  HostileFolder& folder_;
};

// Frames of one colour each (1 red, 2 green, 3 blue), optionally with the background colour
// (black) in the middle.
GifBytes colourFrames(int count, std::uint16_t delayCs, bool blackCentre) {
  GifWriter gif({16, 16, TestGifs::palette()});
  for (int i = 0; i < count; ++i) {
    GifImage image = TestGifs::solid(16, 16, static_cast<std::uint8_t>(1 + i % 3));
    if (blackCentre)
      for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x) image.indices[y * 16 + x] = 0;
    gif.graphicControl({static_cast<std::uint16_t>(delayCs + i)}).image(image);
  }
  return gif.trailer().bytes();
}

// A screen of width x height whose frames are each one small image in its corner.
GifBytes bigScreenSmallImages(std::uint16_t width, std::uint16_t height, int frames) {
  GifWriter gif({width, height, TestGifs::palette()});
  for (int i = 0; i < frames; ++i) gif.graphicControl({10}).image(TestGifs::solid(1, 1, 1));
  return gif.trailer().bytes();
}

// 8192 x 8192, three full frames of one colour each: 192 MiB decoded, about 100 KB on disk. One
// code stream (the table kept full, as some encoders do) serves every frame; the frames differ
// by their local colour tables.
GifBytes hugeScreen() {
  constexpr std::uint16_t side = 8192;
  GifLzwOptions lzw;
  lzw.clearWhenFull = false;
  GifBytes codes;
  {
    const GifBytes indices(std::size_t{side} * side, 1);
    codes = gifLzwEncode(indices.data(), indices.size(), 2, lzw);
  }
  GifWriter gif({side, side, TestGifs::palette()});
  const GifBytes colours[] = {{0, 0, 0, 255, 0, 0}, {0, 0, 0, 0, 255, 0}, {0, 0, 0, 0, 0, 255}};
  for (const GifBytes& colour : colours) {
    GifImage frame;
    frame.width = frame.height = side;
    frame.localTable = colour;
    gif.graphicControl({10}).imageWithCodes(frame, 2, codes);
  }
  return gif.trailer().bytes();
}

GifBytes withVersion(const std::string& version) {
  GifScreen screen{8, 8, TestGifs::palette()};
  screen.version = version;
  return GifWriter(screen).graphicControl({10}).image(TestGifs::solid(8, 8, 2)).trailer().bytes();
}

GifBytes truncated(std::size_t size) {
  GifBytes bytes = TestGifs::threeColours();
  bytes.resize(std::min(size, bytes.size()));
  return bytes;
}

// A code stream that names an entry the table does not hold yet.
GifBytes codeBeyondTheTable() {
  GifBitPacker codes;
  codes.put(4, 3).put(1, 3).put(7, 3).put(5, 3);
  GifImage descriptor;
  descriptor.width = descriptor.height = 8;
  return GifWriter({8, 8, TestGifs::palette()}).graphicControl({10}).imageWithCodes(descriptor, 2, codes.bytes())
      .trailer().bytes();
}

// Interlaced, a local colour table and a transparent index over a first frame.
GifBytes interlacedWithLocalTable() {
  GifWriter gif({16, 16, TestGifs::palette()});
  gif.loop(0).graphicControl({5}).image(TestGifs::solid(16, 16, 1));
  GifImage second = TestGifs::solid(16, 8, 1);
  second.interlaced = true;
  second.localTable = {0, 0, 0, 255, 255, 255};
  for (std::size_t i = 0; i < second.indices.size(); i += 3) second.indices[i] = 0;
  GifGraphicControl control{5};
  control.transparent = true;
  control.transparentIndex = 0;
  return gif.graphicControl(control).image(second).comment("made by hand").trailer().bytes();
}

void addShownAnimations(Builder& add) {
  ShownAnimation three{"three_frames", 3};
  add.shown(three, colourFrames(3, 2, false));
  ShownAnimation zero{"zero_delays", 3, true};
  add.shown(zero, TestGifs::animated(16, 16, {{1, 0}, {2, 0}, {3, 0}}));
  add.shown({"flamm\xC3\xA9", 2}, colourFrames(2, 5, false));
  add.shown({"\xD0\xB2\xD0\xBE\xD0\xB4\xD0\xB0", 3}, colourFrames(3, 4, false));  // "water" in Russian
  const std::string longest = "thirty_one_characters_long_name";
  static_assert(sizeof "thirty_one_characters_long_name" == 32, "31 characters");
  add.shown({longest, 2}, colourFrames(2, 3, false));

  // Notepad's byte-order mark before the first key.
  ShownAnimation bom{"bom", 3, false, true, false, true, 1, 12};
  add.shown(bom, colourFrames(3, 3, true));
  add.file("bom.cfg", "\xEF\xBB\xBF" "background=1\noverride=1\nalpha=1\nnumber_color_palette=12\n");
  ShownAnimation crlf{"crlf", 2, false, false, true, true, 0, 9};
  add.shown(crlf, colourFrames(2, 4, false));
  add.file("crlf.cfg", "background=0\r\noverride=1\r\nnumber_color_palette=9\r\nalpha=0\r\n");
  // Forty lines that are not numbers: one box for the file, not forty.
  ShownAnimation badLines{"bad_lines", 3, false, true, true};
  add.shown(badLines, colourFrames(3, 2, true));
  std::string lines = "background=1\noverride=1\n";
  for (int i = 0; i < 40; ++i) lines += "comment" + std::to_string(i) + "=hello\n";
  add.file("bad_lines.cfg", lines);
}

void addHostileCases(Builder& add, std::uint32_t maxTextureWidth) {
  // Sizes: what the game cannot hold or the device cannot make.
  add.hostile("huge_8192", hugeScreen(), Expect::Either);
  add.hostile("screen_11586", bigScreenSmallImages(11586, 11586, 1), Expect::Either);
  add.hostile("wide_16400", bigScreenSmallImages(16400, 2, 2),
              maxTextureWidth < 16400 ? Expect::StaysOwn : Expect::Either);
  add.hostile("screen_0x0", bigScreenSmallImages(0, 0, 1), Expect::StaysOwn);
  add.hostile("no_images", GifWriter({8, 8, TestGifs::palette()}).trailer().bytes(), Expect::StaysOwn);

  for (int i = 0; i < 10; ++i) add.hostile("old_" + std::to_string(i), withVersion("87a"), Expect::StaysOwn);
  add.hostile("truncated_3", truncated(3), Expect::StaysOwn);
  add.hostile("truncated_10", truncated(10), Expect::StaysOwn);
  add.hostile("truncated_20", truncated(20), Expect::StaysOwn);
  add.hostile("truncated_half", truncated(TestGifs::threeColours().size() / 2), Expect::Either);
  add.hostile("no_trailer", truncated(TestGifs::threeColours().size() - 1), Expect::Either);
  add.hostile("corrupt", TestGifs::corrupt(), Expect::StaysOwn);
  add.hostile("code_beyond_table", codeBeyondTheTable(), Expect::Either);
  add.hostile("empty_file", {}, Expect::StaysOwn);

  // Names Windows keeps for devices, with any extension and in any letter case: good GIFs that
  // must never be opened.
  for (const char* device : {"aux", "com1", "con", "lpt1", "nul", "prn", "COM9", "Lpt2", "PRN.txt", "con.old",
                             "com1.backup", "nul.1"})
    add.hostile(device, TestGifs::threeColours(), Expect::StaysOwn);
  add.file("aux.cfg", "background=1\n");
  add.file("con.cfg", "background=1\noverride=1\nalpha=1\n");

  // No texture has a name longer than 31: the longest a game can give matches neither file.
  const std::string over = "this_animation_name_is_far_longer_than_31";
  add.gif(over, TestGifs::threeColours());
  add.drawn(over.substr(0, 31), Expect::StaysOwn);
  const std::string thirtyTwo = "a_name_of_exactly_32_characters_";
  add.gif(thirtyTwo, TestGifs::threeColours());
  add.drawn(thirtyTwo.substr(0, 31), Expect::StaysOwn);

  // Settings files that break in other ways; their animations still play.
  add.hostile("empty_values", TestGifs::threeColours(), Expect::Plays);
  add.file("empty_values.cfg", "background=\noverride=\nalpha=\nnumber_color_palette=\n");
  add.hostile("bad_values", TestGifs::threeColours(), Expect::Plays);
  add.file("bad_values.cfg",
           "background=yes\r\n=7\r\nno equals sign\r\noverride=1\r\nalpha=99999999999999999999\r\n\r\n");
  add.hostile("empty_settings", TestGifs::threeColours(), Expect::Plays);
  add.file("empty_settings.cfg", "");
  add.hostile("interlaced_local", interlacedWithLocalTable(), Expect::Plays);
}

}  // namespace

HostileFolder makeHostileFolder(std::uint64_t seed, int randomFiles, std::uint32_t maxTextureWidth) {
  HostileFolder folder;
  Builder add(folder);
  addShownAnimations(add);
  addHostileCases(add, maxTextureWidth);
  addRandomFiles(folder, seed, randomFiles);
  return folder;
}
