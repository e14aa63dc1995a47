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

}  // namespace Standin
