#pragma once
// The RenderWare-like records of one scene texture: a texture record with its name, a raster
// with the Direct3D 9 extension, and optionally a palette record.
#include <cstdint>

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
};

// The records are never freed: a module may keep pointers to them for as long as it lives.
SceneTexture makeSceneTexture(const TextureSpec& spec, int extensionOffset, int cell);
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

}  // namespace Standin
