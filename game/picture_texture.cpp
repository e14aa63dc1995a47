#include "game/picture_texture.h"

#include <d3d9.h>

#include <cstring>

#include "game/texture_pictures.h"

namespace Standin {

IDirect3DTexture9* makePictureTexture(IDirect3DDevice9* device, const TextureSpec& spec,
                                      const std::uint8_t* paletteRecord) {
  if (!device) return nullptr;
  std::uint32_t palette[256];
  if (paletteRecord) std::memcpy(palette, paletteRecord, sizeof palette);
  const EncodedPicture picture =
      encodePicture(spec.format, spec.width, spec.height, texturePicture(spec, paletteRecord ? palette : nullptr));
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(device->CreateTexture(static_cast<UINT>(spec.width), static_cast<UINT>(spec.height), 1, 0,
                                   static_cast<D3DFORMAT>(picture.d3dFormat), D3DPOOL_MANAGED, &texture, nullptr)))
    return nullptr;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
    for (int row = 0; row < picture.rows; ++row)
      std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + row * locked.Pitch,
                  picture.bytes.data() + static_cast<std::size_t>(row) * picture.rowBytes,
                  static_cast<std::size_t>(picture.rowBytes));
    texture->UnlockRect(0);
  }
  return texture;
}

}  // namespace Standin
