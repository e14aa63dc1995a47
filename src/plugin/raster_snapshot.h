#pragma once
// What a proxy raster was last copied from: the game raster's header and extension bytes as they
// were then. The game streams its world: it frees rasters and palette records and makes new ones
// at the same addresses, for another texture or with another palette record, alpha flag or size.
// An address says nothing about what lies there now; the bytes do. Comparing the 92 bytes word
// by word at each use costs a few nanoseconds and never lets a proxy keep a pointer the game has
// freed.
#include <cstdint>
#include <cstring>

#include "host/host.h"

class RasterSnapshot {
 public:
  // Whether the raster's header and extension hold the bytes taken last (false before the first).
  bool matches(const std::uint8_t* raster, std::uint32_t extensionOffset) const {
    return taken_ && (differences(bytes_, raster, Host::RasterHeaderSize) |
                      differences(bytes_ + Host::RasterHeaderSize, raster + extensionOffset,
                                  Host::RasterExtensionSize)) == 0;
  }

  void take(const std::uint8_t* raster, std::uint32_t extensionOffset) {
    std::memcpy(bytes_, raster, Host::RasterHeaderSize);
    std::memcpy(bytes_ + Host::RasterHeaderSize, raster + extensionOffset, Host::RasterExtensionSize);
    taken_ = true;
  }

 private:
  static_assert(Host::RasterHeaderSize % 4 == 0 && Host::RasterExtensionSize % 4 == 0, "whole words");

  // Without a branch per word, and inlined: a library memcmp costs more than the bytes.
  static std::uint32_t differences(const std::uint8_t* a, const std::uint8_t* b, int size) {
    std::uint32_t difference = 0;
    for (int i = 0; i < size; i += 4) {
      std::uint32_t x, y;
      std::memcpy(&x, a + i, 4);
      std::memcpy(&y, b + i, 4);
      difference |= x ^ y;
    }
    return difference;
  }

  bool taken_ = false;
  std::uint8_t bytes_[Host::RasterHeaderSize + Host::RasterExtensionSize] = {};
};
