#include "gif/lzw_image.h"

#include <algorithm>
#include <cstring>

#include "gif/gif_decoder.h"
#include "gif/interlace.h"
#include "gif/lzw_code_table.h"

namespace {

constexpr unsigned kEndOfData = 4096;  // what the bit reader yields once the bytes run out
constexpr unsigned kNoCode = 0xFFFF;

// Codes of `width` bits, least significant bit first, from the joined code bytes.
class BitReader {
 public:
  BitReader(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}

  unsigned read(unsigned width) {
    if (bits_ < width) {
      while (bits_ <= kAccumulatorBits - 8 && at_ < end_) {
        accumulator_ |= static_cast<std::size_t>(*at_++) << bits_;
        bits_ += 8;
      }
      if (bits_ < width) return kEndOfData;
    }
    unsigned code = static_cast<unsigned>(accumulator_) & ((1u << width) - 1);
    accumulator_ >>= width;
    bits_ -= width;
    return code;
  }

 private:
  static constexpr unsigned kAccumulatorBits = sizeof(std::size_t) * 8;
  const std::uint8_t* at_;
  const std::uint8_t* end_;
  std::size_t accumulator_ = 0;
  unsigned bits_ = 0;
};

// Puts decoded strings at their pixels: pixel p of the rectangle is column p mod frameWidth of
// stream row p div frameWidth, which lands on screen row frameTop + y (or the interlaced row).
// Only the part of the rectangle inside the screen is written.
class PixelWriter {
 public:
  PixelWriter(GifDecoder& gif, bool interlaced)
      : gif_(gif), interlaced_(interlaced), frameWidth_(gif.frameWidth), frameHeight_(gif.frameHeight) {
    visibleWidth_ = gif.frameLeft < gif.width
                        ? std::min<unsigned>(frameWidth_, gif.width - gif.frameLeft)
                        : 0;
    rowsNeeded_ = visibleWidth_ == 0 || frameWidth_ == 0 ? 0 : lastVisibleStreamRow() + 1;
    enterRow();
  }

  bool done() const { return y_ >= rowsNeeded_; }

  // Writes the string of `code` at the next pixels; returns its first character.
  std::uint8_t emit(const LzwEntry* entries, unsigned code) {
    unsigned length = entries[code].length;
    if (row_ && x_ + length <= visibleWidth_) {
      // The whole string lands on the visible part of this row: write it in place.
      std::uint8_t* out = row_ + x_;
      for (unsigned k = length; k-- > 0;) {
        LzwEntry entry = entries[code];  // a copy: stores through `out` may alias the table
        out[k] = entry.suffix;
        code = entry.prefix;
      }
      x_ += length;
      if (x_ == frameWidth_) nextRow();
      return out[0];
    }
    std::uint8_t string[kLzwMaxCodes];
    for (unsigned k = length; k-- > 0;) {
      LzwEntry entry = entries[code];
      string[k] = entry.suffix;
      code = entry.prefix;
    }
    const std::uint8_t* from = string;
    for (unsigned left = length; left > 0 && !done();) {
      unsigned n = std::min(left, frameWidth_ - x_);
      if (row_ && x_ < visibleWidth_) std::memcpy(row_ + x_, from, std::min(n, visibleWidth_ - x_));
      x_ += n;
      from += n;
      left -= n;
      if (x_ == frameWidth_) nextRow();
    }
    return string[0];
  }

 private:
  unsigned screenRow(unsigned y) const {
    return gif_.frameTop + (interlaced_ ? interlacedRow(frameHeight_, y) : y);
  }
  // Rows of the stream after this one cannot reach the screen.
  unsigned lastVisibleStreamRow() const {
    for (unsigned y = frameHeight_; y-- > 0;)
      if (screenRow(y) < gif_.height) return y;
    return ~0u;  // none: rowsNeeded_ becomes 0
  }
  void enterRow() {
    row_ = nullptr;
    if (done()) return;
    unsigned target = screenRow(y_);
    if (target < gif_.height) row_ = gif_.indices + std::size_t{target} * gif_.width + gif_.frameLeft;
  }
  void nextRow() {
    x_ = 0;
    ++y_;
    enterRow();
  }

  GifDecoder& gif_;
  bool interlaced_;
  unsigned frameWidth_, frameHeight_;
  unsigned visibleWidth_ = 0, rowsNeeded_ = 0;
  unsigned x_ = 0, y_ = 0;
  std::uint8_t* row_ = nullptr;
};

}  // namespace

int lzwDecodeImage(GifDecoder& gif, int minCodeSize, const std::uint8_t* data, std::size_t size,
                   bool interlaced) {
  const unsigned clearCode = 1u << minCodeSize;
  const unsigned stopCode = clearCode + 1;
  const unsigned initialWidth = minCodeSize + 1;

  LzwCodeTable* table = lzwTableCreate(minCodeSize);
  if (!table) return -1;
  BitReader bits(data, size);
  PixelWriter pixels(gif, interlaced);

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
      if (code > count) {
        result = -1;
        break;
      }
      if (!lzwTableReserve(table)) {
        result = -1;
        break;
      }
      table->entries[count] = {static_cast<std::uint16_t>(table->entries[previous].length + 1),
                               static_cast<std::uint16_t>(previous), previousFirst};
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
    if (appended) table->entries[count - 1].suffix = first;
    previous = code;
    previousFirst = first;
  }
  lzwTableFree(table);
  return result;
}
