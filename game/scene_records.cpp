#include "game/scene_records.h"

#include <cstdlib>
#include <cstring>

#include "host/host.h"

namespace Standin {

namespace {

template <typename T>
void put(std::uint8_t* base, int offset, T value) {
  std::memcpy(base + offset, &value, sizeof value);
}

template <typename T>
T get(const std::uint8_t* base, int offset) {
  T value;
  std::memcpy(&value, base + offset, sizeof value);
  return value;
}

}  // namespace

namespace {
std::size_t rasterSize(int extensionOffset) { return static_cast<std::size_t>(extensionOffset) + Host::RasterExtensionSize; }
}  // namespace

SceneTexture makeSceneTexture(const TextureSpec& spec, int extensionOffset, int cell, RecordHeap& heap) {
  SceneTexture t;
  t.spec = spec;
  t.cell = cell;
  t.record = heap.allocate(TextureRecordSize);
  t.raster = heap.allocate(rasterSize(extensionOffset));

  std::strncpy(reinterpret_cast<char*>(t.record + Host::TextureNameOffset), spec.name.c_str(),
               Host::TextureNameSize - 1);
  put<std::uint8_t*>(t.record, 0, t.raster);
  put<std::int32_t>(t.record, 84, 1);  // reference count

  // Raster header: parent (itself), pixels, palette, width, height, depth, stride, ..., type/format.
  put<std::uint8_t*>(t.raster, 0, t.raster);
  put<std::int32_t>(t.raster, 12, spec.width);
  put<std::int32_t>(t.raster, 16, spec.height);
  put<std::int32_t>(t.raster, 20, 32);
  put<std::int32_t>(t.raster, 24, spec.width * 4);
  put<std::uint8_t>(t.raster, 32, 4);  // a texture raster
  put<std::uint8_t>(t.raster, 35, 0x05);

  std::uint8_t* extension = t.raster + extensionOffset;
  if (spec.palette) {
    t.palette = heap.allocate(Host::PaletteRecordSize);
    for (int i = 0; i < Host::PaletteEntries; ++i)
      put<std::uint32_t>(t.palette, 4 * i, 0xFF000000u | static_cast<std::uint32_t>(i * 0x010101));
    put<std::uint32_t>(t.palette, Host::PaletteIndexOffset, static_cast<std::uint32_t>(cell));
    put<std::uint8_t*>(extension, Host::ExtensionPalette, t.palette);
  }
  extension[Host::ExtensionAlpha] = spec.alpha ? 1 : 0;
  return t;
}

void freeSceneTexture(SceneTexture& t, RecordHeap& heap) {
  heap.release(t.palette);
  heap.release(t.raster);
  heap.release(t.record);
  t.record = t.raster = t.palette = nullptr;
}

void attachTexture(SceneTexture& t, void* d3dTexture, int extensionOffset) {
  t.d3dTexture = d3dTexture;
  put<void*>(t.raster + extensionOffset, Host::ExtensionTexture, d3dTexture);
}

RasterView readRaster(const std::uint8_t* raster, int extensionOffset) {
  RasterView view;
  if (!raster) return view;
  const std::uint8_t* extension = raster + extensionOffset;
  view.d3dTexture = get<void*>(extension, Host::ExtensionTexture);
  view.palette = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(get<void*>(extension, Host::ExtensionPalette)));
  view.alpha = extension[Host::ExtensionAlpha] != 0;
  if (view.palette) {
    view.paletteIndex = get<std::int32_t>(reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(view.palette)),
                                          Host::PaletteIndexOffset);
  }
  return view;
}

bool rasterAgrees(const std::uint8_t* drawn, const std::uint8_t* own, int extensionOffset) {
  if (drawn == nullptr || own == nullptr) return drawn == own;
  // The extension lies after the header (the scenario keeps it there).
  const int swappable = Host::ExtensionAlpha + 1;
  return std::memcmp(drawn, own, Host::RasterHeaderSize) == 0 &&
         std::memcmp(drawn + extensionOffset + swappable, own + extensionOffset + swappable,
                     Host::RasterExtensionSize - swappable) == 0;
}

}  // namespace Standin
