#pragma once
// Game records made by a test: a raster with the layout the game gives (header, then the
// Direct3D 9 extension at the offset the game stores) and a texture record with a name.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/host.h"

class FakeRaster {
 public:
  explicit FakeRaster(std::uint8_t fill) {
    offset_ = static_cast<std::size_t>(Host::at<std::int32_t>(Host::RasterExtensionOffset));
    bytes_.assign(std::max<std::size_t>(Host::RasterHeaderSize, offset_ + Host::RasterExtensionSize),
                  fill);
    setPointer(Host::ExtensionTexture, 0x7E570000u + fill);
    setPointer(Host::ExtensionPalette, 0x9A1E0000u + fill);
    bytes_[offset_ + Host::ExtensionAlpha] = 0;
  }
  RwRaster* raster() { return reinterpret_cast<RwRaster*>(bytes_.data()); }
  const std::uint8_t* header() const { return bytes_.data(); }
  // As the game does when it makes another raster at this address.
  void poke(std::size_t at, std::uint8_t value) { bytes_.at(at) = value; }

  static std::uint32_t pointerAt(const RwRaster* raster, int field) {
    std::uint32_t value;
    std::memcpy(&value, extensionOf(raster) + field, sizeof value);
    return value;
  }
  static std::uint32_t texture(const RwRaster* raster) { return pointerAt(raster, Host::ExtensionTexture); }
  static std::uint32_t palette(const RwRaster* raster) { return pointerAt(raster, Host::ExtensionPalette); }
  static std::uint8_t alpha(const RwRaster* raster) { return extensionOf(raster)[Host::ExtensionAlpha]; }
  static const std::uint8_t* extensionOf(const RwRaster* raster) {
    return reinterpret_cast<const std::uint8_t*>(raster) +
           Host::at<std::int32_t>(Host::RasterExtensionOffset);
  }

 private:
  void setPointer(int field, std::uint32_t value) {
    std::memcpy(&bytes_[offset_ + field], &value, sizeof value);
  }
  std::size_t offset_;
  std::vector<std::uint8_t> bytes_;
};

// 88 bytes like the game's; the name is copied without a terminating zero when it fills all 32
// bytes, and the bytes after it are not zero.
class FakeTexture {
 public:
  explicit FakeTexture(const std::string& name) : bytes_(88, 0x5A) {
    std::memset(&bytes_[Host::TextureNameOffset], 0, Host::TextureNameSize);
    std::memcpy(&bytes_[Host::TextureNameOffset], name.data(),
                std::min<std::size_t>(name.size(), Host::TextureNameSize));
  }
  const RwTexture* record() const { return reinterpret_cast<const RwTexture*>(bytes_.data()); }

 private:
  std::vector<std::uint8_t> bytes_;
};
