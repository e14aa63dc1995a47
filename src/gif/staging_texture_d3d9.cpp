#include "gif/staging_texture.h"

#include <d3d9.h>

#include "gif/animation_frame.h"
#include "gif/frame_tiles.h"

bool StagingTexture::prepare(IDirect3DDevice9* device) {
  if (device != device_) {
    release();
    device_ = device;
    deviceCannot_ = false;
  }
  if (surface_) return true;
  if (!device || deviceCannot_) return false;
  D3DCAPS9 caps{};
  if (FAILED(device->GetDeviceCaps(&caps)) || !(caps.DevCaps2 & D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES)) {
    deviceCannot_ = true;
    return false;
  }
  HRESULT result = device->CreateTexture(FrameTiles::StagingWidth, FrameTiles::StagingHeight, 1,
                                         D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture_, nullptr);
  if (FAILED(result) || !texture_) texture_ = nullptr;
  if (texture_) result = texture_->GetSurfaceLevel(0, &surface_);
  D3DLOCKED_RECT locked{};
  if (texture_ && surface_) result = texture_->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD);
  if (SUCCEEDED(result) && surface_) {
    texture_->UnlockRect(0);
    return true;
  }
  release();
  // Asked again only while the device is lost; otherwise frames are made whole, and a failure
  // there is reported as any texture's would be, rather than frames waiting for good.
  deviceCannot_ = result != D3DERR_DEVICELOST && result != D3DERR_DEVICENOTRESET;
  return false;
}

long StagingTexture::copyTile(const AnimationFrame& frame, const FrameTile& tile, bool keepBackground,
                              IDirect3DSurface9* target) {
  D3DLOCKED_RECT locked{};
  // A fresh buffer each time: a copy still queued reads the one before.
  const HRESULT lockedResult = texture_->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD);
  if (FAILED(lockedResult)) return lockedResult;
  if (locked.pBits) frame.writeTile(locked.pBits, locked.Pitch, keepBackground, tile);
  texture_->UnlockRect(0);
  if (!locked.pBits) return E_POINTER;
  const RECT from{0, 0, static_cast<LONG>(tile.width), static_cast<LONG>(tile.height)};
  const RECT to{static_cast<LONG>(tile.left), static_cast<LONG>(tile.top),
                static_cast<LONG>(tile.left + tile.width), static_cast<LONG>(tile.top + tile.height)};
  return device_->StretchRect(surface_, &from, target, &to, D3DTEXF_NONE);
}

void StagingTexture::release() {
  if (surface_) surface_->Release();
  if (texture_) texture_->Release();
  surface_ = nullptr;
  texture_ = nullptr;
}
