#include <zlib.h>

#include "png/png_writer.h"

namespace VelquorPng {

namespace {

// zlib's own checksum, taken a piece at a time: its counts are unsigned int.
std::uint32_t inPieces(uLong (*sum)(uLong, const Bytef*, uInt), const std::uint8_t* data, std::size_t size,
                       std::uint32_t previous) {
  uLong value = previous;
  for (std::size_t at = 0; at < size;) {
    const uInt n = static_cast<uInt>(size - at < (1u << 30) ? size - at : (1u << 30));
    value = sum(value, data + at, n);
    at += n;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t previous) {
  return inPieces(::crc32, data, size, previous);
}

std::uint32_t adler32(const std::uint8_t* data, std::size_t size, std::uint32_t previous) {
  return inPieces(::adler32, data, size, previous);
}

}  // namespace VelquorPng
