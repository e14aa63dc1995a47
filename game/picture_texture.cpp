#include "game/picture_texture.h"

#include <d3d9.h>

#include <cstring>

#include "game/texture_pictures.h"

namespace Standin {

namespace {

void writeRows(IDirect3DTexture9* texture, const EncodedPicture& picture) {
  D3DLOCKED_RECT locked;
  if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) return;
  for (int row = 0; row < picture.rows; ++row)
    std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + row * locked.Pitch,
                picture.bytes.data() + static_cast<std::size_t>(row) * picture.rowBytes,
                static_cast<std::size_t>(picture.rowBytes));
  texture->UnlockRect(0);
}

}  // namespace

void fillTexture(IDirect3DTexture9* texture, std::uint32_t argb) {
  D3DSURFACE_DESC description;
  // P8 stands for a palettized raster; its texture is never P8 itself.
  if (FAILED(texture->GetLevelDesc(0, &description)) || !isPictureFormat(description.Format) ||
      description.Format == D3DFMT_P8)
    return;
  const int w = static_cast<int>(description.Width), h = static_cast<int>(description.Height);
  if (!pictureFormatProblem(description.Format, w, h).empty()) return;
  writeRows(texture, encodePicture(description.Format, w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, argb)));
}

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
  writeRows(texture, picture);
  return texture;
}

}  // namespace Standin
