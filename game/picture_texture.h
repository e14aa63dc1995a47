#pragma once
// A scene texture's Direct3D texture holding its picture in its format (texture_pictures.h).
#include <cstdint>

#include "game/standin_types.h"

struct IDirect3DDevice9;
struct IDirect3DTexture9;

namespace Standin {

// A managed texture (a Reset keeps it), null when the device refuses the format. paletteRecord
// gives a P8 picture its colours.
IDirect3DTexture9* makePictureTexture(IDirect3DDevice9* device, const TextureSpec& spec,
                                      const std::uint8_t* paletteRecord);

// The whole top level one colour, written in the texture's own format (32-bit, 16-bit or DXT):
// the poison of a freed raster's texture. A format the stand-in cannot write is left as it is.
void fillTexture(IDirect3DTexture9* texture, std::uint32_t argb);

}  // namespace Standin
