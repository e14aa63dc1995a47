#include "gif/lzw_image.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "gif/gif_decoder.h"
#include "gif/interlace.h"
#include "gif/lzw_code_table.h"

namespace {

constexpr unsigned kEndOfData = 4096;  // what the bit reader yields once the bytes run out
constexpr unsigned kNoCode = 0xFFFF;
constexpr std::size_t kCopyChunk = 16;  // strings are copied in chunks this long

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ || defined(_M_IX86) || \
    defined(_M_X64)
constexpr bool kLittleEndian = true;
#else
constexpr bool kLittleEndian = false;
#endif

// Codes of `width` bits, least significant bit first, from the joined code bytes.
class BitReader {
 public:
  BitReader(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}

  unsigned read(unsigned width) {
    if (bits_ < width) {
      refill();
      if (bits_ < width) return kEndOfData;
    }
    unsigned code = static_cast<unsigned>(accumulator_) & ((1u << width) - 1);
    accumulator_ >>= width;
    bits_ -= width;
    return code;
  }

 private:
  using Word = std::size_t;
  static constexpr unsigned kWordBits = sizeof(Word) * 8;

  void refill() {
    if (kLittleEndian && static_cast<std::size_t>(end_ - at_) >= sizeof(Word)) {
      // A whole word at once; the bits of a partly taken byte are taken again next time,
      // at the same place, so OR-ing them twice does no harm.
      Word word;
      std::memcpy(&word, at_, sizeof word);
      accumulator_ |= word << bits_;
      unsigned bytes = (kWordBits - bits_) / 8;
      at_ += bytes;
      bits_ += bytes * 8;
      return;
    }
    while (bits_ <= kWordBits - 8 && at_ < end_) {
      accumulator_ |= static_cast<Word>(*at_++) << bits_;
      bits_ += 8;
    }
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  Word accumulator_ = 0;
  unsigned bits_ = 0;
};

// Where pixel p of the rectangle goes: column p mod frameWidth of stream row p div frameWidth,
// which is screen row frameTop + y (or the interlaced row). Only the part of the rectangle inside
// the screen counts.
struct RectangleGeometry {
  RectangleGeometry(const GifDecoder& gif, bool interlaced)
      : gif(gif), interlaced(interlaced), frameWidth(gif.frameWidth), frameHeight(gif.frameHeight) {
    visibleWidth = gif.frameLeft < gif.width ? std::min<unsigned>(frameWidth, gif.width - gif.frameLeft) : 0;
    if (visibleWidth > 0)
      for (unsigned y = frameHeight; y-- > 0;)
        if (screenRow(y) < gif.height) {
          rowsNeeded = y + 1;  // rows of the stream after this one cannot reach the screen
          break;
        }
  }
  unsigned screenRow(unsigned y) const {
    return gif.frameTop + (interlaced ? interlacedRow(frameHeight, y) : y);
  }
  // Start of the visible part of stream row y on the screen, or null if the row is off screen.
  std::uint8_t* row(unsigned y) const {
    unsigned target = screenRow(y);
    return target < gif.height ? gif.indices + std::size_t{target} * gif.width + gif.frameLeft : nullptr;
  }

  const GifDecoder& gif;
  bool interlaced;
  unsigned frameWidth, frameHeight;
  unsigned visibleWidth = 0;
  unsigned rowsNeeded = 0;
};

// Decodes into a linear buffer of the rectangle's needed rows, then copies the rows to the
// screen. A string is copied from where it was first written, not rebuilt from the table.
class LinearSink {
 public:
  LinearSink(const RectangleGeometry& geometry, std::uint8_t* buffer)
      : geometry_(geometry), out_(buffer), total_(std::size_t{geometry.frameWidth} * geometry.rowsNeeded) {}

  static std::size_t bufferSize(const RectangleGeometry& geometry) {
    return std::size_t{geometry.frameWidth} * geometry.rowsNeeded + kCopyChunk;
  }

  bool done() const { return at_ >= total_; }

  // Entry `code` is being defined: its string starts where the previous string was written.
  void defined(unsigned code) { start_[code] = previousStart_; }

  std::uint8_t emit(const LzwEntry* entries, unsigned code) {
    std::uint8_t* to = out_ + at_;
    const std::size_t length = std::min<std::size_t>(entries[code].length, total_ - at_);
    if (entries[code].length == 1) {
      *to = entries[code].suffix;
    } else {
      const std::uint8_t* from = out_ + start_[code];
      if (static_cast<std::size_t>(to - from) >= kCopyChunk) {
        // Chunks may run up to 15 bytes past the string, into the slack at the end or over
        // bytes the next strings write again; source and target are a chunk apart or more.
        for (std::size_t i = 0; i < length; i += kCopyChunk) std::memcpy(to + i, from + i, kCopyChunk);
      } else {
        for (std::size_t i = 0; i < length; ++i) to[i] = from[i];  // overlaps its own output
      }
    }
    previousStart_ = static_cast<std::uint32_t>(at_);
    at_ += length;
    return *to;
  }

  // The decoded pixels to the screen; an early end leaves the rest as it was.
  void finish() const {
    const unsigned width = geometry_.frameWidth;
    const unsigned visible = geometry_.visibleWidth;
    for (unsigned y = 0; std::size_t{y} * width < at_; ++y) {
      std::size_t decoded = std::min<std::size_t>(width, at_ - std::size_t{y} * width);
      if (std::uint8_t* row = geometry_.row(y))
        std::memcpy(row, out_ + std::size_t{y} * width, std::min<std::size_t>(decoded, visible));
    }
  }

 private:
  const RectangleGeometry& geometry_;
  std::uint8_t* out_;
  std::size_t total_;
  std::size_t at_ = 0;
  std::uint32_t previousStart_ = 0;
  std::uint32_t start_[kLzwMaxCodes];
};

// Writes each string straight to its screen pixels, rebuilding it from the table; for
// rectangles too large for a linear buffer (which only a hostile file has).
class ClippingSink {
 public:
  explicit ClippingSink(const RectangleGeometry& geometry) : geometry_(geometry) { enterRow(); }

  bool done() const { return y_ >= geometry_.rowsNeeded; }
  void defined(unsigned) {}

  std::uint8_t emit(const LzwEntry* entries, unsigned code) {
    const unsigned length = entries[code].length;
    std::uint8_t string[kLzwMaxCodes];
    for (unsigned k = length; k-- > 0;) {
      LzwEntry entry = entries[code];
      string[k] = entry.suffix;
      code = entry.prefix;
    }
    const std::uint8_t* from = string;
    for (unsigned left = length; left > 0 && !done();) {
      unsigned n = std::min(left, geometry_.frameWidth - x_);
      if (row_ && x_ < geometry_.visibleWidth)
        std::memcpy(row_ + x_, from, std::min(n, geometry_.visibleWidth - x_));
      x_ += n;
      from += n;
      left -= n;
      if (x_ == geometry_.frameWidth) {
        x_ = 0;
        ++y_;
        enterRow();
      }
    }
    return string[0];
  }

  void finish() const {}

 private:
  void enterRow() { row_ = done() ? nullptr : geometry_.row(y_); }

  const RectangleGeometry& geometry_;
  unsigned x_ = 0, y_ = 0;
  std::uint8_t* row_ = nullptr;
};

template <class Sink>
int decodeCodes(Sink& pixels, int minCodeSize, const std::uint8_t* data, std::size_t size) {
  const unsigned clearCode = 1u << minCodeSize;
  const unsigned stopCode = clearCode + 1;
  const unsigned initialWidth = minCodeSize + 1;

  LzwCodeTable* table = lzwTableCreate(minCodeSize);
  if (!table) return -1;
  BitReader bits(data, size);
  unsigned width = initialWidth;
  unsigned previous = kNoCode;  // none right after a clear code
  std::uint8_t previousFirst = 0;
  bool full = false;
  int result = 1;
  while (!pixels.done()) {
    unsigned code = bits.read(width);
    if (code == clearCode) {
      width = initialWidth;
      table->count = clearCode + 2;
      full = false;
      previous = kNoCode;
      continue;
    }
    if (code == stopCode || code == kEndOfData) break;

    unsigned count = static_cast<unsigned>(table->count);
    bool appended = false;
    if (previous != kNoCode && !full) {
      // The new entry is the previous string plus the first character of this one; when the
      // code is that very entry, its first character is the previous string's.
      if (code > count || !lzwTableReserve(table)) {
        result = -1;
        break;
      }
      table->entries[count] = {static_cast<std::uint16_t>(table->entries[previous].length + 1),
                               static_cast<std::uint16_t>(previous), previousFirst};
      pixels.defined(count);
      table->count = static_cast<int>(++count);
      appended = true;
      if (count == kLzwMaxCodes)
        full = true;
      else if ((count & (count - 1)) == 0)
        ++width;
    } else if (code >= count) {
      result = -1;  // right after a clear code only a root code is valid
      break;
    }

    std::uint8_t first = pixels.emit(table->entries, code);
    // Also for the entry that filled the table: it is used like any other.
    if (appended) table->entries[count - 1].suffix = first;
    previous = code;
    previousFirst = first;
  }
  lzwTableFree(table);
  pixels.finish();
  return result;
}

}  // namespace

int lzwDecodeImage(GifDecoder& gif, int minCodeSize, const std::uint8_t* data, std::size_t size,
                   bool interlaced, std::vector<std::uint8_t>& scratch) {
  const RectangleGeometry geometry(gif, interlaced);
  // A rectangle inside the screen always fits a buffer of the screen's size.
  const std::size_t linearLimit = std::max<std::size_t>(std::size_t{gif.width} * gif.height, 1 << 16) + kCopyChunk;
  const std::size_t needed = LinearSink::bufferSize(geometry);
  if (needed <= linearLimit) {
    if (scratch.size() < needed) scratch.resize(needed);
    auto sink = std::make_unique<LinearSink>(geometry, scratch.data());
    return decodeCodes(*sink, minCodeSize, data, size);
  }
  ClippingSink sink(geometry);
  return decodeCodes(sink, minCodeSize, data, size);
}
