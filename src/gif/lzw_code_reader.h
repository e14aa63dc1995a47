#pragma once
#include <cstddef>
#include <cstdint>

constexpr unsigned LzwMaxWidth = 12;  // bits of the widest code

// Codes of the current width, least significant bit first, from the joined code bytes. A code
// of up to 12 bits at a bit shift of up to 7 lies within the four bytes from its first one.
class LzwCodeReader {
 public:
  // `endCode` is what read() yields once fewer bits are left than a code needs.
  LzwCodeReader(const std::uint8_t* data, std::size_t size, unsigned endCode, unsigned width)
      : at_(data), end_(data + size), lastWord_(size >= 4 ? end_ - 3 : data), endCode_(endCode) {
    setWidth(width);
  }

  unsigned width() const { return width_; }
  void setWidth(unsigned width) {
    width_ = width;
    mask_ = (1u << width) - 1;
  }

  unsigned read() {
    if (at_ >= lastWord_) return readNearEnd();
    const std::uint32_t word =
        at_[0] | at_[1] << 8 | at_[2] << 16 | static_cast<std::uint32_t>(at_[3]) << 24;
    return take(word);
  }

 private:
  unsigned take(std::uint32_t word) {
    const unsigned code = (word >> shift_) & mask_;
    shift_ += width_;
    at_ += shift_ >> 3;
    shift_ &= 7;
    return code;
  }
  // The last bytes, one at a time, never past the end.
  unsigned readNearEnd() {
    const std::size_t left = static_cast<std::size_t>(end_ - at_);
    if (left * 8 < shift_ + width_) return endCode_;
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < left; ++i) word |= static_cast<std::uint32_t>(at_[i]) << (8 * i);
    return take(word);
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  const std::uint8_t* lastWord_;  // from here on fewer than four bytes are left
  unsigned endCode_;
  unsigned width_ = 0, mask_ = 0;
  unsigned shift_ = 0;  // bits of *at_ already taken
};
