#pragma once
// Writes GIF files for tests, benchmarks and samples: a real LZW encoder and the GIF89a blocks
// around it, appended in the order they are called, plus raw bytes for deliberately broken files.
//
//   #include "gifwriter/gif_writer.h"
//   GifWriter gif({64, 32, palette});          // header, screen descriptor, global table
//   gif.loop(0).graphicControl({10}).image({64, 32, pixels}).trailer();
//   gif.writeFile("out.gif");
#include <cstdint>
#include <string>
#include <vector>

using GifBytes = std::vector<std::uint8_t>;

struct GifScreen {
  std::uint16_t width = 0, height = 0;
  GifBytes globalTable;             // RGB triples; empty writes no global table
  std::uint8_t backgroundIndex = 0;
  std::string version = "89a";      // e.g. "87a" for a refused file
};

struct GifGraphicControl {
  std::uint16_t delay = 0;          // hundredths of a second
  bool transparent = false;
  std::uint8_t transparentIndex = 0;
  std::uint8_t disposal = 0;
};

struct GifLzwOptions {
  int minCodeSize = 0;              // 2..8; 0 picks the smallest that holds every index (>= 2)
  bool clearWhenFull = true;        // false: keep coding with the full table ("deferred clear")
  int clearAfterFullCodes = -1;     // deferred: emit a clear after this many codes (-1: never)
  bool startWithClear = true;
  bool endWithStop = true;
  int subBlockSize = 255;           // 1..255
};

struct GifImage {
  std::uint16_t width = 0, height = 0;
  GifBytes indices;                 // width x height, rows from the top in display order
  std::uint16_t left = 0, top = 0;
  GifBytes localTable;              // RGB triples; empty: none
  bool interlaced = false;
  GifLzwOptions lzw;
};

// LZW-compresses `count` indices (each below 1 << minCodeSize) into packed code bytes, without
// the sub-block framing.
GifBytes gifLzwEncode(const std::uint8_t* indices, std::size_t count, int minCodeSize,
                      const GifLzwOptions& options = {});

// Packs codes of explicit widths, least significant bit first, for hand-made code streams.
class GifBitPacker {
 public:
  GifBitPacker& put(unsigned code, int width);
  GifBytes bytes() const;

 private:
  GifBytes out_;
  std::uint32_t pending_ = 0;
  int pendingBits_ = 0;
};

// Frames `data` into sub-blocks of at most `blockSize` bytes and adds the 0 terminator.
GifBytes gifSubBlocks(const GifBytes& data, int blockSize = 255);

// The smallest table size exponent for a table of `entries` (2 -> 1, 256 -> 8), as in the
// packed fields; tables are padded with black to that power of two.
int gifTableBits(std::size_t entries);

class GifWriter {
 public:
  explicit GifWriter(const GifScreen& screen);

  GifWriter& loop(std::uint16_t count);                    // NETSCAPE2.0 extension
  GifWriter& graphicControl(const GifGraphicControl& control);
  GifWriter& comment(const std::string& text);
  GifWriter& image(const GifImage& image);
  // An image descriptor followed by a ready-made code stream (`codes` are packed code bytes,
  // framed into sub-blocks here).
  GifWriter& imageWithCodes(const GifImage& descriptor, int minCodeSize, const GifBytes& codes,
                            int subBlockSize = 255);
  GifWriter& raw(const GifBytes& bytes);
  GifWriter& trailer();

  const GifBytes& bytes() const { return bytes_; }
  bool writeFile(const std::string& path) const;

 private:
  void descriptor(const GifImage& image);
  void u16(std::uint16_t value);
  void table(const GifBytes& rgb);

  GifBytes bytes_;
};

bool writeFile(const std::string& path, const GifBytes& bytes);

// The order in which an interlaced image stores its rows: row numbers by position in the stream.
std::vector<int> gifInterlaceOrder(int height);
