#pragma once
// What a game raster holds, as the names log and the picker tell it: its size from the raster's
// header and its format from its Direct3D texture (read through the game's extension offset).
#include <cstdint>

struct IDirect3DTexture9;
struct RwRaster;

struct RasterDescription {
  int width = 0;
  int height = 0;
  IDirect3DTexture9* texture = nullptr;  // not referenced
  std::uint32_t format = 0;              // D3DFORMAT of its top level, 0 without a texture
  const std::uint8_t* palette = nullptr; // the palette record, null without
};

RasterDescription describeRaster(const RwRaster* raster);
