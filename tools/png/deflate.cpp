#include "png/deflate.h"

#include "png/png_writer.h"

namespace VelquorPng {

namespace {

constexpr int MinMatch = 3;
constexpr int MaxMatch = 258;
constexpr std::size_t Window = 32768;
constexpr int HashBits = 15;

const std::uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const std::uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const std::uint16_t DistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                         33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const std::uint8_t DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Deflate packs bits from the least significant end; Huffman codes go in most significant bit first.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void bits(std::uint32_t value, int count) {
    buffer_ |= static_cast<std::uint64_t>(value) << used_;
    used_ += count;
    while (used_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(buffer_));
      buffer_ >>= 8;
      used_ -= 8;
    }
  }

  void huffman(std::uint32_t code, int length) {
    std::uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
    bits(reversed, length);
  }

  void flush() {
    if (used_ > 0) bits(0, 8 - used_);
  }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t buffer_ = 0;
  int used_ = 0;
};

// The fixed literal/length code of deflate (RFC 1951, 3.2.6).
void writeSymbol(BitWriter& w, int symbol) {
  if (symbol < 144) w.huffman(0x30 + symbol, 8);
  else if (symbol < 256) w.huffman(0x190 + symbol - 144, 9);
  else if (symbol < 280) w.huffman(symbol - 256, 7);
  else w.huffman(0xC0 + symbol - 280, 8);
}

void writeMatch(BitWriter& w, int length, std::size_t distance) {
  int l = 28;
  while (LengthBase[l] > length) --l;
  writeSymbol(w, 257 + l);
  w.bits(length - LengthBase[l], LengthExtra[l]);
  int d = 29;
  while (DistanceBase[d] > distance) --d;
  w.huffman(d, 5);
  w.bits(static_cast<std::uint32_t>(distance - DistanceBase[d]), DistanceExtra[d]);
}

std::uint32_t hash3(const std::uint8_t* p) {
  std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return (v * 2654435761u) >> (32 - HashBits);
}

}  // namespace

std::vector<std::uint8_t> zlibCompress(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> out;
  out.reserve(size / 4 + 64);
  out.push_back(0x78);  // deflate, 32 KiB window
  out.push_back(0x01);  // check bits: 0x7801 is a multiple of 31, no dictionary
  BitWriter w(out);
  w.bits(1, 1);  // last block
  w.bits(1, 2);  // fixed Huffman codes

  // head[h] is one past the latest position whose three bytes hash to h (0: none).
  std::vector<std::size_t> head(std::size_t(1) << HashBits, 0);
  std::size_t i = 0;
  while (i < size) {
    int length = 0;
    std::size_t distance = 0;
    if (i + MinMatch <= size) {
      std::uint32_t h = hash3(data + i);
      std::size_t candidate = head[h];
      head[h] = i + 1;
      if (candidate != 0 && i - (candidate - 1) <= Window) {
        const std::uint8_t* a = data + candidate - 1;
        const std::uint8_t* b = data + i;
        std::size_t limit = size - i < MaxMatch ? size - i : MaxMatch;
        std::size_t n = 0;
        while (n < limit && a[n] == b[n]) ++n;
        if (n >= MinMatch) {
          length = static_cast<int>(n);
          distance = i - (candidate - 1);
        }
      }
    }
    if (length == 0) {
      writeSymbol(w, data[i]);
      ++i;
      continue;
    }
    writeMatch(w, length, distance);
    // Index the positions inside the match so later repeats can find them.
    for (std::size_t k = i + 1; k < i + length && k + MinMatch <= size; ++k) head[hash3(data + k)] = k + 1;
    i += length;
  }
  writeSymbol(w, 256);  // end of block
  w.flush();

  std::uint32_t check = adler32(data, size);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(check >> shift));
  return out;
}

}  // namespace VelquorPng
