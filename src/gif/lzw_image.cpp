#include "gif/lzw_image.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "gif/gif_decoder.h"
#include "gif/interlace.h"
#include "gif/lzw_code_table.h"

namespace {

constexpr unsigned kEndOfData = 4096;  // what the code reader yields once the bytes run out
constexpr unsigned kNoCode = 0xFFFF;
constexpr std::size_t kCopyChunk = 16;  // strings are copied in chunks this long

// Codes of `width` bits, least significant bit first, from the joined code bytes. A code of up to
// 12 bits at a bit shift of up to 7 lies within the four bytes from its first one.
class CodeReader {
 public:
  CodeReader(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}

  unsigned read(unsigned width) {
    if (end_ - at_ < 4) return readNearEnd(width);
    const std::uint32_t word =
        at_[0] | at_[1] << 8 | at_[2] << 16 | static_cast<std::uint32_t>(at_[3]) << 24;
    return take(word, width);
  }

 private:
  unsigned take(std::uint32_t word, unsigned width) {
    const unsigned code = (word >> shift_) & ((1u << width) - 1);
    shift_ += width;
    at_ += shift_ >> 3;
    shift_ &= 7;
    return code;
  }
  // The last bytes, one at a time, never past the end.
  unsigned readNearEnd(unsigned width) {
    const std::size_t left = static_cast<std::size_t>(end_ - at_);
    if (left * 8 < shift_ + width) return kEndOfData;
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < left; ++i) word |= static_cast<std::uint32_t>(at_[i]) << (8 * i);
    return take(word, width);
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  unsigned shift_ = 0;  // bits of *at_ already taken
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
  std::size_t pixelsNeeded() const { return std::size_t{frameWidth} * rowsNeeded; }
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
// screen. A string is copied from where it was first written, not rebuilt from the table: entry n
// starts where the string before it was written and adds the first character of the next one.
// The 256 roots lie in front of the pixels (root r at offset r), so every code is copied the same
// way; behind them is room for the longest string and a chunk.
class LinearSink {
 public:
  LinearSink(const RectangleGeometry& geometry, std::uint8_t* buffer, std::uint32_t* starts)
      : geometry_(geometry), buffer_(buffer), starts_(starts),
        total_(kRoots + geometry.pixelsNeeded()) {
    for (unsigned r = 0; r < kRoots; ++r) {
      buffer_[r] = static_cast<std::uint8_t>(r);
      starts_[r] = r;
    }
  }

  static std::size_t bufferSize(const RectangleGeometry& geometry) {
    return kRoots + geometry.pixelsNeeded() + kLzwMaxCodes + kCopyChunk;
  }

  bool done() const { return at_ >= total_; }

  // Entry `code` is being defined: its string starts where the previous string was written.
  void defined(unsigned code) { starts_[code] = previousStart_; }

  std::uint8_t emit(const LzwEntry* entries, unsigned code) {
    const unsigned length = entries[code].length;
    std::uint8_t* to = buffer_ + at_;
    const std::uint8_t* from = buffer_ + starts_[code];
    const std::uint8_t first = *from;
    // Whole chunks, each read before it is written: they may run up to 15 bytes past the string,
    // over bytes the next strings write again. Source and target overlap only for the entry
    // this step defines, whose last character is not written yet; the suffix store mends it.
    copyChunk(to, from);
    for (std::size_t i = kCopyChunk; i < length; i += kCopyChunk) copyChunk(to + i, from + i);
    to[length - 1] = entries[code].suffix;
    previousStart_ = static_cast<std::uint32_t>(at_);
    at_ += length;
    return first;
  }

  // The decoded pixels to the screen; an early end leaves the rest as it was.
  void finish() const {
    const unsigned width = geometry_.frameWidth;
    const unsigned visible = geometry_.visibleWidth;
    const std::size_t decoded = std::min(at_, total_) - kRoots;
    const std::uint8_t* pixels = buffer_ + kRoots;
    for (unsigned y = 0; std::size_t{y} * width < decoded; ++y) {
      std::size_t inRow = std::min<std::size_t>(width, decoded - std::size_t{y} * width);
      if (std::uint8_t* row = geometry_.row(y))
        std::memcpy(row, pixels + std::size_t{y} * width, std::min<std::size_t>(inRow, visible));
    }
  }

 private:
  static constexpr unsigned kRoots = 256;

  static void copyChunk(std::uint8_t* to, const std::uint8_t* from) {
    std::uint8_t chunk[kCopyChunk];
    std::memcpy(chunk, from, kCopyChunk);
    std::memcpy(to, chunk, kCopyChunk);
  }

  const RectangleGeometry& geometry_;
  std::uint8_t* buffer_;
  std::uint32_t* starts_;  // kLzwMaxCodes entries: where each code's string starts in buffer_
  std::size_t total_;      // end of the needed pixels in buffer_
  std::size_t at_ = kRoots;
  std::uint32_t previousStart_ = 0;
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
  // The table's fields live in locals while codes are decoded: pixel stores could alias them.
  LzwEntry* entries = table->entries;
  unsigned count = static_cast<unsigned>(table->count);
  unsigned capacity = static_cast<unsigned>(table->capacity);
  CodeReader codes(data, size);
  unsigned width = initialWidth;
  unsigned previous = kNoCode;  // none right after a clear code
  unsigned previousLength = 0;
  std::uint8_t previousFirst = 0;
  bool full = false;
  int result = 1;
  while (!pixels.done()) {
    const unsigned code = codes.read(width);
    if (code == clearCode) {
      width = initialWidth;
      count = clearCode + 2;
      full = false;
      previous = kNoCode;
      continue;
    }
    if (code == stopCode || code == kEndOfData) break;

    bool appended = false;
    if (previous != kNoCode && !full) {
      // The new entry is the previous string plus the first character of this one; when the
      // code is that very entry, its first character is the previous string's.
      if (code > count) {
        result = -1;
        break;
      }
      if (count == capacity) {
        table->count = static_cast<int>(count);
        if (!lzwTableGrow(table)) {
          result = -1;
          break;
        }
        entries = table->entries;
        capacity = static_cast<unsigned>(table->capacity);
      }
      entries[count] = {static_cast<std::uint16_t>(previousLength + 1), static_cast<std::uint16_t>(previous),
                        previousFirst};
      pixels.defined(count);
      ++count;
      appended = true;
      if (count == kLzwMaxCodes)
        full = true;
      else if ((count & (count - 1)) == 0)
        ++width;
    } else if (code >= count) {
      result = -1;  // right after a clear code only a root code is valid
      break;
    }

    previousLength = entries[code].length;
    const std::uint8_t first = pixels.emit(entries, code);
    // Also for the entry that filled the table: it is used like any other.
    if (appended) entries[count - 1].suffix = first;
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
  const std::size_t linearLimit = std::max<std::size_t>(std::size_t{gif.width} * gif.height, 1 << 16);
  if (geometry.pixelsNeeded() <= linearLimit) {
    const std::size_t needed = LinearSink::bufferSize(geometry);
    if (scratch.size() < needed) scratch.resize(needed);
    auto starts = std::make_unique<std::uint32_t[]>(kLzwMaxCodes);
    LinearSink sink(geometry, scratch.data(), starts.get());
    return decodeCodes(sink, minCodeSize, data, size);
  }
  ClippingSink sink(geometry);
  return decodeCodes(sink, minCodeSize, data, size);
}
