#pragma once
// The decoder's input and scratch space. gifOpen reads the whole file into memory at once and
// closes it: nothing stays open while the images are decoded, so that other programs may save
// over the file, replace or delete it meanwhile. Reading past the end yields nothing; the
// position may pass it (a skip), and then every read fails.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gif/gif_decoder.h"

struct GifReadState {
  bool readByte(std::uint8_t& value) {
    if (pos >= file.size()) return false;
    value = file[pos++];
    return true;
  }
  bool readU16le(std::uint16_t& value);
  // Up to n bytes; fewer only at the end of the file.
  std::size_t readSome(std::uint8_t* out, std::size_t n);
  bool readBytes(std::uint8_t* out, std::size_t n) { return readSome(out, n) == n; }
  // Moves forward without reading, like a seek: past the end of the file is allowed.
  void skip(std::size_t n) { pos += n; }
  // Follows the size bytes of a sub-block chain to its 0 terminator; false if the file ends
  // first. `collect`, if given, receives the data bytes.
  bool skipSubBlocks(std::vector<std::uint8_t>* collect = nullptr);
  // Where an unbuffered reader of the file would be.
  long offset() const { return static_cast<long>(pos); }

  std::vector<std::uint8_t> file;       // all of it
  std::size_t pos = 0;
  std::vector<std::uint8_t> imageData;  // the current image's code bytes, sub-blocks joined
  std::vector<std::uint8_t> pixels;     // the current image's pixels in stream order
};

// Reads from the descriptor to the end of the file into `into`; false when memory runs out.
bool readWholeFile(int fd, std::vector<std::uint8_t>& into);
