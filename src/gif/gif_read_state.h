#pragma once
// The decoder's read buffer over its descriptor, and scratch space reused from image to image.
// The file offset it reports is the one an unbuffered reader would be at; syncDescriptor()
// moves the descriptor there, so outside a call the descriptor sits where it would without
// the buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gif/gif_decoder.h"

struct GifReadState {
  explicit GifReadState(int descriptor) : fd(descriptor) {}

  bool fill();  // more bytes at the logical offset; false at the end of the file

  bool readByte(std::uint8_t& value) {
    if (pos == end && !fill()) return false;
    value = buffer[pos++];
    return true;
  }
  bool readU16le(std::uint16_t& value);
  // Up to n bytes; fewer only at the end of the file.
  std::size_t readSome(std::uint8_t* out, std::size_t n);
  bool readBytes(std::uint8_t* out, std::size_t n) { return readSome(out, n) == n; }
  // Moves forward without reading, like a seek: past the end of the file is allowed.
  void skip(std::size_t n);
  // Follows the size bytes of a sub-block chain to its 0 terminator; false if the file ends
  // first. `collect`, if given, receives the data bytes.
  bool skipSubBlocks(std::vector<std::uint8_t>* collect = nullptr);
  long offset() const { return bufferOffset + static_cast<long>(pos); }
  void syncDescriptor();

  static constexpr std::size_t BufferSize = 64 * 1024;
  int fd;
  long bufferOffset = 0;  // file offset of buffer[0]
  long descriptorAt = 0;  // where the descriptor really is
  std::size_t pos = 0, end = 0;
  std::vector<std::uint8_t> imageData;  // the current image's code bytes, sub-blocks joined
  std::vector<std::uint8_t> pixels;     // the current image's pixels in stream order
  std::uint8_t buffer[BufferSize];
};
