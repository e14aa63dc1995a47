#include "gif_writer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr unsigned MaxCodes = 4096;

// String table of the encoder: (prefix code, next index) -> code, open addressing. A generation
// stamp empties it in O(1) at every clear code.
class LzwDictionary {
 public:
  LzwDictionary() : slots_(Slots) {}
  void clear() { ++generation_; }

  // The code of prefix+index, or -1 after remembering where it would go.
  int find(unsigned prefix, unsigned index) {
    std::uint32_t key = (prefix << 8) | index;
    std::size_t at = (key * 2654435761u) >> (32 - SlotBits);
    while (slots_[at].generation == generation_) {
      if (slots_[at].key == key) return slots_[at].code;
      at = (at + 1) & (Slots - 1);
    }
    freeSlot_ = at;
    return -1;
  }
  // Adds the pair that the last failed find looked for.
  void add(unsigned prefix, unsigned index, unsigned code) {
    slots_[freeSlot_] = {(prefix << 8) | index, static_cast<std::uint16_t>(code), generation_};
  }

 private:
  static constexpr int SlotBits = 13;
  static constexpr std::size_t Slots = std::size_t{1} << SlotBits;
  struct Slot {
    std::uint32_t key = 0;
    std::uint16_t code = 0;
    std::uint32_t generation = 0;
  };
  std::vector<Slot> slots_;
  std::uint32_t generation_ = 1;
  std::size_t freeSlot_ = 0;
};

int bitsFor(unsigned maxIndex) {
  int bits = 2;
  while ((1u << bits) <= maxIndex) ++bits;
  return bits;
}

}  // namespace

GifBitPacker& GifBitPacker::put(unsigned code, int width) {
  pending_ |= (code & ((1u << width) - 1)) << pendingBits_;
  pendingBits_ += width;
  while (pendingBits_ >= 8) {
    out_.push_back(static_cast<std::uint8_t>(pending_));
    pending_ >>= 8;
    pendingBits_ -= 8;
  }
  return *this;
}

GifBytes GifBitPacker::bytes() const {
  GifBytes all = out_;
  if (pendingBits_ > 0) all.push_back(static_cast<std::uint8_t>(pending_));
  return all;
}

GifBytes gifLzwEncode(const std::uint8_t* indices, std::size_t count, int minCodeSize,
                      const GifLzwOptions& options) {
  if (minCodeSize < 2 || minCodeSize > 8) throw std::invalid_argument("min code size 2..8");
  const unsigned clearCode = 1u << minCodeSize;
  const unsigned stopCode = clearCode + 1;
  for (std::size_t i = 0; i < count; ++i)
    if (indices[i] >= clearCode) throw std::invalid_argument("index does not fit the code size");

  GifBitPacker out;
  LzwDictionary dictionary;
  int width = minCodeSize + 1;
  unsigned next = clearCode + 2;
  bool full = false;
  int codesSinceFull = 0;
  auto restart = [&] {
    out.put(clearCode, width);
    dictionary.clear();
    width = minCodeSize + 1;
    next = clearCode + 2;
    full = false;
  };

  if (options.startWithClear) out.put(clearCode, width);
  if (count > 0) {
    unsigned prefix = indices[0];
    for (std::size_t i = 1; i < count; ++i) {
      unsigned index = indices[i];
      int known = dictionary.find(prefix, index);
      if (known >= 0) {
        prefix = static_cast<unsigned>(known);
        continue;
      }
      out.put(prefix, width);
      if (!full) {
        dictionary.add(prefix, index, next++);
        // The decoder learns each entry one code later, so it widens when it holds
        // 1 << width entries, which is when we hold one more.
        if (next > (1u << width) && width < 12) ++width;
        if (next == MaxCodes) {
          if (options.clearWhenFull) {
            restart();
          } else {
            full = true;
            codesSinceFull = 0;
          }
        }
      } else if (++codesSinceFull == options.clearAfterFullCodes) {
        restart();
      }
      prefix = index;
    }
    out.put(prefix, width);
  }
  if (options.endWithStop) out.put(stopCode, width);
  return out.bytes();
}

GifBytes gifSubBlocks(const GifBytes& data, int blockSize) {
  if (blockSize < 1 || blockSize > 255) throw std::invalid_argument("sub-block size 1..255");
  GifBytes out;
  out.reserve(data.size() + data.size() / blockSize + 2);
  for (std::size_t at = 0; at < data.size();) {
    std::size_t n = std::min<std::size_t>(blockSize, data.size() - at);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    at += n;
  }
  out.push_back(0);
  return out;
}

int gifTableBits(std::size_t entries) {
  int bits = 1;
  while ((std::size_t{1} << bits) < entries && bits < 8) ++bits;
  return bits;
}

std::vector<int> gifInterlaceOrder(int height) {
  std::vector<int> rows;
  const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = starts[pass]; y < height; y += steps[pass]) rows.push_back(y);
  return rows;
}

GifWriter::GifWriter(const GifScreen& screen) {
  const char* signature = "GIF";
  bytes_.insert(bytes_.end(), signature, signature + 3);
  bytes_.insert(bytes_.end(), screen.version.begin(), screen.version.end());
  u16(screen.width);
  u16(screen.height);
  std::uint8_t packed = 0x70;  // colour resolution 8 bits
  if (!screen.globalTable.empty()) packed |= 0x80 | (gifTableBits(screen.globalTable.size() / 3) - 1);
  bytes_.push_back(packed);
  bytes_.push_back(screen.backgroundIndex);
  bytes_.push_back(0);  // pixel aspect ratio
  table(screen.globalTable);
}

void GifWriter::u16(std::uint16_t value) {
  bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
  bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void GifWriter::table(const GifBytes& rgb) {
  if (rgb.empty()) return;
  std::size_t entries = std::size_t{1} << gifTableBits(rgb.size() / 3);
  std::size_t used = std::min(rgb.size(), entries * 3);
  bytes_.insert(bytes_.end(), rgb.begin(), rgb.begin() + used);
  bytes_.insert(bytes_.end(), entries * 3 - used, 0);
}

GifWriter& GifWriter::loop(std::uint16_t count) {
  const char* id = "NETSCAPE2.0";
  bytes_.insert(bytes_.end(), {0x21, 0xFF, 11});
  bytes_.insert(bytes_.end(), id, id + 11);
  bytes_.insert(bytes_.end(), {3, 1});
  u16(count);
  bytes_.push_back(0);
  return *this;
}

GifWriter& GifWriter::graphicControl(const GifGraphicControl& control) {
  bytes_.insert(bytes_.end(), {0x21, 0xF9, 4});
  bytes_.push_back(static_cast<std::uint8_t>(((control.disposal & 7) << 2) | (control.transparent ? 1 : 0)));
  u16(control.delay);
  bytes_.push_back(control.transparentIndex);
  bytes_.push_back(0);
  return *this;
}

GifWriter& GifWriter::comment(const std::string& text) {
  bytes_.insert(bytes_.end(), {0x21, 0xFE});
  GifBytes framed = gifSubBlocks(GifBytes(text.begin(), text.end()));
  bytes_.insert(bytes_.end(), framed.begin(), framed.end());
  return *this;
}

void GifWriter::descriptor(const GifImage& image) {
  bytes_.push_back(0x2C);
  u16(image.left);
  u16(image.top);
  u16(image.width);
  u16(image.height);
  std::uint8_t packed = image.interlaced ? 0x40 : 0;
  if (!image.localTable.empty()) packed |= 0x80 | (gifTableBits(image.localTable.size() / 3) - 1);
  bytes_.push_back(packed);
  table(image.localTable);
}

GifWriter& GifWriter::image(const GifImage& image) {
  std::size_t pixels = std::size_t{image.width} * image.height;
  if (image.indices.size() != pixels) throw std::invalid_argument("indices must be width x height");
  int codeSize = image.lzw.minCodeSize;
  if (codeSize == 0) {
    unsigned maxIndex = 0;
    for (std::uint8_t i : image.indices) maxIndex = std::max<unsigned>(maxIndex, i);
    codeSize = bitsFor(maxIndex);
  }
  GifBytes ordered;
  const GifBytes* stream = &image.indices;
  if (image.interlaced) {
    ordered.reserve(pixels);
    for (int row : gifInterlaceOrder(image.height)) {
      auto begin = image.indices.begin() + std::size_t{image.width} * row;
      ordered.insert(ordered.end(), begin, begin + image.width);
    }
    stream = &ordered;
  }
  GifBytes codes = gifLzwEncode(stream->data(), stream->size(), codeSize, image.lzw);
  return imageWithCodes(image, codeSize, codes, image.lzw.subBlockSize);
}

GifWriter& GifWriter::imageWithCodes(const GifImage& image, int minCodeSize, const GifBytes& codes,
                                     int subBlockSize) {
  descriptor(image);
  bytes_.push_back(static_cast<std::uint8_t>(minCodeSize));
  GifBytes framed = gifSubBlocks(codes, subBlockSize);
  bytes_.insert(bytes_.end(), framed.begin(), framed.end());
  return *this;
}

GifWriter& GifWriter::raw(const GifBytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

GifWriter& GifWriter::trailer() {
  bytes_.push_back(0x3B);
  return *this;
}

bool GifWriter::writeFile(const std::string& path) const { return ::writeFile(path, bytes_); }

bool writeFile(const std::string& path, const GifBytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}
