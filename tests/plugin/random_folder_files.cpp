// The random part of the hostile folder: random bytes, mutations of good GIFs and settings files
// under random names. The generator is written out here so that a seed gives the same folder
// with every standard library.
#include <cctype>
#include <set>
#include <string>

#include "plugin/hostile_folder.h"
#include "plugin/test_gifs.h"

namespace {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {  // SplitMix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
  bool percent(int p) { return below(100) < static_cast<std::size_t>(p); }
  std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }

 private:
  std::uint64_t state_;
};

// Pieces of names: plain ASCII mostly, then what Windows allows but players rarely type.
const char* const OddPieces[] = {" ", "_", "-", ".", "~", "!", "#", "$", "%", "&", "'", "(", ")", "+", ",",
                                  ";", "=", "@", "[", "]", "^", "`", "{", "}",
                                  "\xC3\xA9", "\xC3\xBC", "\xC3\x9F", "\xD0\xB6", "\xCF\x89", "\xE4\xB8\xAD",
                                  "\xE6\x96\x87", "\xF0\x9F\x94\xA5"};
const char* const Extensions[] = {".GIF", ".Gif", ".cfg", ".txt", "", ".gif.", ".gif.bak"};

std::string folded(const std::string& name) {
  std::string out = name;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// aux, con, com1 ... whatever follows the first dot.
bool namesADevice(const std::string& name) {
  std::string base = folded(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const std::set<std::string> devices = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  if (devices.count(base)) return true;
  return base.size() == 4 && (base.rfind("com", 0) == 0 || base.rfind("lpt", 0) == 0) &&
         std::isdigit(static_cast<unsigned char>(base[3]));
}

std::string randomStem(Random& random) {
  static const char alnum[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::size_t length = 1 + random.below(random.percent(10) ? 40 : 20);
  std::string stem;
  for (std::size_t i = 0; i < length; ++i) {
    if (random.percent(80))
      stem += alnum[random.below(sizeof alnum - 1)];
    else
      stem += OddPieces[random.below(sizeof OddPieces / sizeof *OddPieces)];
  }
  return stem;
}

GifBytes goodGif(Random& random) {
  const int side = 2 + static_cast<int>(random.below(30));
  std::vector<TestGifs::Frame> frames;
  const std::size_t count = 1 + random.below(5);
  for (std::size_t i = 0; i < count; ++i)
    frames.push_back({static_cast<std::uint8_t>(random.below(4)), static_cast<std::uint16_t>(random.below(20))});
  return TestGifs::animated(side, side, frames, random.percent(50) ? static_cast<int>(random.below(3)) : -1);
}

// Flips, overwrites, inserts, deletes or cuts a few bytes. Screens stay below four million
// pixels: the deliberate huge ones are elsewhere, and the run must stay short.
GifBytes mutated(Random& random) {
  for (;;) {
    GifBytes bytes = goodGif(random);
    const std::size_t edits = 1 + random.below(6);
    for (std::size_t e = 0; e < edits && !bytes.empty(); ++e) {
      const std::size_t at = random.below(bytes.size());
      switch (random.below(5)) {
        case 0: bytes[at] ^= static_cast<std::uint8_t>(1u << random.below(8)); break;
        case 1: bytes[at] = random.byte(); break;
        case 2: bytes.insert(bytes.begin() + static_cast<long>(at), 1 + random.below(8), random.byte()); break;
        case 3: bytes.erase(bytes.begin() + static_cast<long>(at),
                            bytes.begin() + static_cast<long>(std::min(bytes.size(), at + 1 + random.below(8))));
                break;
        default: bytes.resize(at); break;
      }
    }
    if (bytes.size() < 10) return bytes;
    const std::uint64_t width = bytes[6] | bytes[7] << 8, height = bytes[8] | bytes[9] << 8;
    if (width * height <= (std::uint64_t{1} << 22)) return bytes;
  }
}

GifBytes randomBytes(Random& random) {
  GifBytes bytes;
  if (random.percent(50)) bytes = {'G', 'I', 'F', '8', '9', 'a'};
  const std::size_t size = random.below(600);
  for (std::size_t i = 0; i < size; ++i) bytes.push_back(random.byte());
  return bytes;
}

std::string randomSettings(Random& random) {
  static const char* const keys[] = {"background", "override", "alpha", "number_color_palette", "Background",
                                     "junk", ""};
  static const char* const values[] = {"0", "1", "", "x", "-1", "300", "4294967296", " 7", "1x", "99999999999999999999"};
  static const char* const ends[] = {"\n", "\r\n", "\r", ""};
  std::string text = random.percent(20) ? "\xEF\xBB\xBF" : "";
  const std::size_t lines = random.below(12);
  for (std::size_t i = 0; i < lines; ++i) {
    text += keys[random.below(sizeof keys / sizeof *keys)];
    if (random.percent(90)) text += '=';
    text += values[random.below(sizeof values / sizeof *values)];
    text += ends[random.below(sizeof ends / sizeof *ends)];
  }
  return text;
}

}  // namespace

void addRandomFiles(HostileFolder& folder, std::uint64_t seed, int count) {
  Random random(seed);
  std::set<std::string> taken, textures;
  for (const auto& file : folder.files) taken.insert(folded(file.name));
  for (const auto& shown : folder.shown) textures.insert(shown.texture);
  for (const auto& hostile : folder.hostile) textures.insert(hostile.texture);
  auto claim = [&](const std::string& name) {
    if (namesADevice(name) || !taken.insert(folded(name)).second) return false;
    return true;
  };

  for (int made = 0; made < count;) {
    const std::string stem = randomStem(random);
    const bool gifExtension = random.percent(85);
    const std::string name = stem + (gifExtension ? ".gif" : Extensions[random.below(sizeof Extensions / sizeof *Extensions)]);
    const bool noise = random.percent(30);
    const GifBytes bytes = noise ? randomBytes(random) : mutated(random);
    if (name.back() == ' ' || !claim(name)) continue;
    folder.files.push_back({name, std::string(bytes.begin(), bytes.end())});
    ++made;
    if (gifExtension && random.percent(15) && claim(stem + ".cfg"))
      folder.files.push_back({stem + ".cfg", randomSettings(random)});
    if (stem.size() > 31 || !textures.insert(stem).second) continue;
    // Only "<name>.gif" can become an animation, and only from a GIF89a stream.
    const bool gif89a = bytes.size() >= 13 && std::string(bytes.begin(), bytes.begin() + 6) == "GIF89a";
    const bool neverPlays = !gifExtension || (noise && !gif89a) || bytes.size() < 13;
    folder.random.push_back({stem, neverPlays ? Expect::StaysOwn : Expect::Either});
  }
}
