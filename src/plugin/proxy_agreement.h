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
#include "plugin/word_difference.h"

class RasterSnapshot {
 public:
  // Whether the raster's header and extension hold the bytes taken last (false before the first).
  bool matches(const std::uint8_t* raster, std::uint32_t extensionOffset) const {
    return taken_ && (wordDifference<Host::RasterHeaderSize>(bytes_, raster) |
                      wordDifference<Host::RasterExtensionSize>(bytes_ + Host::RasterHeaderSize,
                                                                raster + extensionOffset)) == 0;
  }

  void take(const std::uint8_t* raster, std::uint32_t extensionOffset) {
    std::memcpy(bytes_, raster, Host::RasterHeaderSize);
    std::memcpy(bytes_ + Host::RasterHeaderSize, raster + extensionOffset, Host::RasterExtensionSize);
    taken_ = true;
  }

 private:
  bool taken_ = false;
  std::uint8_t bytes_[Host::RasterHeaderSize + Host::RasterExtensionSize] = {};
};
