#include "check/gif_structure.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

class Cursor {
 public:
  explicit Cursor(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  bool has(std::size_t n) const { return bytes_.size() - pos_ >= n; }
  std::uint8_t byte() { return has(1) ? bytes_[pos_++] : (ok_ = false, 0); }
  void skip(std::size_t n) { has(n) ? void(pos_ += n) : void(ok_ = false); }
  bool skipSubBlocks() {
    for (std::uint8_t size = byte(); ok_ && size != 0; size = byte()) skip(size);
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

int tableBytes(std::uint8_t packed) { return (packed & 0x80) ? 3 << ((packed & 7) + 1) : 0; }

}  // namespace

GifStructure readGifStructure(const std::vector<std::uint8_t>& bytes) {
  GifStructure gif;
  if (bytes.size() < 13 || bytes[0] != 'G' || bytes[1] != 'I' || bytes[2] != 'F') return gif;
  gif.version.assign(bytes.begin() + 3, bytes.begin() + 6);
  Cursor in(bytes);
  in.skip(10);
  const std::uint8_t screenPacked = in.byte();
  in.skip(2);
  in.skip(tableBytes(screenPacked));

  int disposal = 0;  // of the graphic control that precedes the next image
  while (in.ok()) {
    const std::uint8_t introducer = in.byte();
    if (!in.ok()) break;
    if (introducer == 0x3B) {
      gif.complete = true;
      break;
    }
    if (introducer == 0x21) {
      const std::uint8_t label = in.byte();
      if (label == 0xF9) {
        in.skip(1);
        const std::uint8_t packed = in.byte();
        disposal = (packed >> 2) & 7;
        if (packed & 2) gif.userInput = true;
        in.skip(4);
      } else if (!in.skipSubBlocks()) {
        break;
      }
      continue;
    }
    if (introducer != 0x2C) break;
    in.skip(8);
    const std::uint8_t packed = in.byte();
    in.skip(tableBytes(packed));
    in.skip(1);  // minimum code size
    if (!in.skipSubBlocks()) break;
    gif.disposalByImage.push_back(disposal);
    disposal = 0;
  }
  return gif;
}

GifStructure readGifStructureOfFile(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  return readGifStructure(bytes);
}
