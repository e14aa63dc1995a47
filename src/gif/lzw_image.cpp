#include "gif/lzw_image.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "gif/gif_decoder.h"
#include "gif/interlace.h"
#include "gif/lzw_code_reader.h"
#include "gif/lzw_code_table.h"

namespace {

constexpr std::size_t CopyChunk = 16;  // strings are copied in chunks this long

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
  std::size_t pixelsNeeded() const { return std::size_t{frameWidth} * rowsNeeded; }
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

// The sinks below keep the code table in their own form. Each one is told when entry `count` is
// defined, which is always the previous string plus the first character of the next one, and
// writes out the string of each code.

// Decodes into a linear buffer of the rectangle's needed rows, then copies the rows to the
// screen. A string is copied from where it was first written, not rebuilt from the table: an
// entry is where the previous string starts and one more character than it has. The 256 roots
// lie in front of the pixels (root r at offset r), so every code is copied the same way; behind
// the pixels is room for the longest string and a chunk.
class LinearSink {
 public:
  LinearSink(const RectangleGeometry& geometry, std::vector<std::uint8_t>& scratch)
      : geometry_(geometry), strings_(new String[LzwMaxCodes]), total_(Roots + geometry.pixelsNeeded()) {
    const std::size_t size = total_ + LzwMaxCodes + CopyChunk;
    if (scratch.size() < size) scratch.resize(size);
    buffer_ = scratch.data();
    for (unsigned r = 0; r < Roots; ++r) {
      buffer_[r] = static_cast<std::uint8_t>(r);
      strings_[r] = {r, 1};
    }
  }

  bool done() const { return at_ >= total_; }

  bool define(unsigned entry) {
    strings_[entry] = {previous_.start, previous_.length + 1};
    return true;
  }

  void emit(unsigned code) {
    const String string = strings_[code];
    std::uint8_t* to = buffer_ + at_;
    const std::uint8_t* from = buffer_ + string.start;
    // Whole chunks, each read before it is written: they may run up to 15 bytes past the string,
    // over bytes the next strings write again. Source and target overlap only when the code is
    // the entry this step defines, the previous string (just before the target) plus its first
    // character: that character goes to the target first, where the copy then reads it.
    *to = *from;
    copyChunk(to, from);
    for (std::size_t i = CopyChunk; i < string.length; i += CopyChunk) copyChunk(to + i, from + i);
    previous_ = {static_cast<std::uint32_t>(at_), string.length};
    at_ += string.length;
  }

  // The decoded pixels to the screen; an early end leaves the rest as it was.
  void finish() const {
    const unsigned width = geometry_.frameWidth;
    const unsigned visible = geometry_.visibleWidth;
    const std::size_t decoded = std::min(at_, total_) - Roots;
    const std::uint8_t* pixels = buffer_ + Roots;
    for (unsigned y = 0; std::size_t{y} * width < decoded; ++y) {
      std::size_t inRow = std::min<std::size_t>(width, decoded - std::size_t{y} * width);
      if (std::uint8_t* row = geometry_.row(y))
        std::memcpy(row, pixels + std::size_t{y} * width, std::min<std::size_t>(inRow, visible));
    }
  }

 private:
  static constexpr unsigned Roots = 256;
  struct String {
    std::uint32_t start;   // in buffer_
    std::uint32_t length;
  };

  static void copyChunk(std::uint8_t* to, const std::uint8_t* from) {
    std::uint8_t chunk[CopyChunk];
    std::memcpy(chunk, from, CopyChunk);
    std::memcpy(to, chunk, CopyChunk);
  }

  const RectangleGeometry& geometry_;
  std::unique_ptr<String[]> strings_;  // by code
  std::uint8_t* buffer_;
  std::size_t total_;  // end of the needed pixels in buffer_
  std::size_t at_ = Roots;
  String previous_ = {0, 0};
};

// Writes each string straight to its screen pixels, rebuilding it from the code table; for
// rectangles too large for a linear buffer (which only a hostile file has).
class ClippingSink {
 public:
  // Takes over `table`.
  ClippingSink(const RectangleGeometry& geometry, LzwCodeTable* table) : geometry_(geometry), table_(table) {
    enterRow();
  }
  ~ClippingSink() { lzwTableFree(table_); }
  ClippingSink(const ClippingSink&) = delete;
  ClippingSink& operator=(const ClippingSink&) = delete;

  bool done() const { return y_ >= geometry_.rowsNeeded; }

  // False when the table cannot grow.
  bool define(unsigned entry) {
    table_->count = static_cast<int>(entry);
    if (!lzwTableReserve(table_)) return false;
    // The suffix is the previous string's first character until the next string is known;
    // when the next code is this very entry, that is right as it stands.
    table_->entries[entry] = {static_cast<std::uint16_t>(previousLength_ + 1),
                              static_cast<std::uint16_t>(previous_), previousFirst_};
    table_->count = static_cast<int>(entry + 1);
    defined_ = entry;
    return true;
  }

  void emit(unsigned code) {
    const LzwEntry* entries = table_->entries;
    const unsigned length = entries[code].length;
    std::uint8_t string[LzwMaxCodes];
    std::uint8_t first = 0;  // the last character of the walk
    for (unsigned k = length, at = code; k-- > 0;) {
      LzwEntry entry = entries[at];
      string[k] = first = entry.suffix;
      at = entry.prefix;
    }
    if (defined_ != NoEntry) table_->entries[defined_].suffix = first;
    defined_ = NoEntry;
    previous_ = code;
    previousLength_ = length;
    previousFirst_ = first;

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
  }

  void finish() const {}

 private:
  static constexpr unsigned NoEntry = ~0u;
  void enterRow() { row_ = done() ? nullptr : geometry_.row(y_); }

  const RectangleGeometry& geometry_;
  LzwCodeTable* table_;
  unsigned x_ = 0, y_ = 0;
  std::uint8_t* row_ = nullptr;
  unsigned defined_ = NoEntry;  // entry defined by this step, its suffix not yet known
  unsigned previous_ = 0, previousLength_ = 0;
  std::uint8_t previousFirst_ = 0;
};

template <class Sink>
int decodeCodes(Sink& pixels, int minCodeSize, const std::uint8_t* data, std::size_t size) {
  const unsigned clearCode = 1u << minCodeSize;
  const unsigned stopCode = clearCode + 1;
  const unsigned initialWidth = minCodeSize + 1;
  // Right after a clear code, count stands one lower: the first code then adds a dummy entry in
  // the stop code's place (never read), which leaves only the roots valid.
  const unsigned countAfterClear = clearCode + 1;

  unsigned count = countAfterClear;
  unsigned widthLimit = 1u << initialWidth;  // count that widens the codes
  LzwCodeReader codes(data, size, stopCode, initialWidth);
  int result = 1;
  while (!pixels.done()) {
    const unsigned code = codes.read();
    if (code - clearCode <= stopCode - clearCode) {
      if (code == stopCode) break;  // or the end of the data
      codes.setWidth(initialWidth);
      widthLimit = 1u << initialWidth;
      count = countAfterClear;
      continue;
    }
    // A full table takes every code as it is; otherwise the code may be at most the entry it
    // adds (right after a clear, a root).
    if (count < LzwMaxCodes) {
      if (code > count || !pixels.define(count)) {
        result = -1;
        break;
      }
      if (++count == widthLimit) {
        // 12 bits at most: once there, the entry that fills the table widens nothing.
        const unsigned width = codes.width() + 1;
        codes.setWidth(width);
        widthLimit = width < LzwMaxWidth ? 1u << width : LzwMaxCodes + 1;
      }
    }
    pixels.emit(code);
  }
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
    LinearSink sink(geometry, scratch);
    return decodeCodes(sink, minCodeSize, data, size);
  }
  LzwCodeTable* table = lzwTableCreate(minCodeSize);
  if (!table) return -1;
  ClippingSink sink(geometry, table);
  return decodeCodes(sink, minCodeSize, data, size);
}
