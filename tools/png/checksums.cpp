#include <zlib.h>

#include "png/png_writer.h"

namespace VelquorPng {

// zlib's own, taken a piece at a time: its counts are unsigned int.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t previous) {
  uLong crc = previous;
  for (std::size_t at = 0; at < size;) {
    const uInt n = static_cast<uInt>(size - at < (1u << 30) ? size - at : (1u << 30));
    crc = ::crc32(crc, data + at, n);
    at += n;
  }
  return static_cast<std::uint32_t>(crc);
}

std::uint32_t adler32(const std::uint8_t* data, std::size_t size, std::uint32_t previous) {
  uLong sum = previous;
  for (std::size_t at = 0; at < size;) {
    const uInt n = static_cast<uInt>(size - at < (1u << 30) ? size - at : (1u << 30));
    sum = ::adler32(sum, data + at, n);
    at += n;
  }
  return static_cast<std::uint32_t>(sum);
}

}  // namespace VelquorPng
