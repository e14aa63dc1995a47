#pragma once
// The RenderWare-like records of one scene texture: a texture record with its name, a raster
// with the Direct3D 9 extension, and optionally a palette record.
#include <cstdint>
#include <string>

#include "game/record_heap.h"
#include "game/standin_types.h"

namespace Standin {

constexpr int TextureRecordSize = 88;  // raster pointer at 0, name at 16, mask at 48, ...

struct SceneTexture {
  TextureSpec spec;
  std::uint8_t* record = nullptr;
  std::uint8_t* raster = nullptr;
  std::uint8_t* palette = nullptr;
  void* d3dTexture = nullptr;  // IDirect3DTexture9*, once there is a device
  int cell = 0;
  std::string dictionary;      // the texture dictionary it came with; empty for the scene's own
};

// The records come from the heap's free lists, as the game's do: a texture made after another
// was freed gets its addresses.
SceneTexture makeSceneTexture(const TextureSpec& spec, int extensionOffset, int cell, RecordHeap& heap);
// Gives the records back to the heap (the Direct3D texture is the caller's).
void freeSceneTexture(SceneTexture& texture, RecordHeap& heap);
// Stores the Direct3D texture in the raster's extension.
void attachTexture(SceneTexture& texture, void* d3dTexture, int extensionOffset);

// Fields of a raster as the game reads them after a site.
struct RasterView {
  void* d3dTexture = nullptr;
  std::uint32_t palette = 0;
  int paletteIndex = -1;
  bool alpha = false;
};
RasterView readRaster(const std::uint8_t* raster, int extensionOffset);

// Whether a raster drawn with agrees with the texture's own in every byte of its header and
// extension except the Direct3D texture, the palette pointer and the alpha byte (which an
// animation swaps, or may override by its settings).
bool rasterAgrees(const std::uint8_t* drawn, const std::uint8_t* own, int extensionOffset);

}  // namespace Standin
