// A frame's Direct3D 9 texture in the default pool: made whole (one dynamic texture, locked once)
// or filled in tiles through the staging texture (a render-target texture, copied into).
#include <d3d9.h>

#include "gif/frame_list.h"
#include "gif/frame_tiles.h"
#include "gif/memory_limits.h"
#include "gif/memory_use.h"
#include "gif/staging_texture.h"

long AnimationFrame::createTexture(IDirect3DDevice9* device, bool keepBackground) {
  if (!device || texture) return 0;
  releaseTexture();  // one being filled
  IDirect3DTexture9* made = nullptr;
  const HRESULT created = device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8,
                                                D3DPOOL_DEFAULT, &made, nullptr);
  if (FAILED(created)) return created;
  if (!made) return E_POINTER;
  D3DLOCKED_RECT locked{};
  // Every pixel is written: nothing to keep, so the driver need not wait for the device.
  const HRESULT lockedResult = made->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD);
  if (FAILED(lockedResult)) {
    made->Release();
    return lockedResult;
  }
  if (locked.pBits) writePixels(locked.pBits, locked.Pitch, keepBackground);
  made->UnlockRect(0);
  if (!locked.pBits) {
    made->Release();
    return E_POINTER;
  }
  texture = made;
  MemoryUse::textures += Limits::textureBytes(width, height, 1);
  return 0;
}

long AnimationFrame::fillTexture(IDirect3DDevice9* device, StagingTexture& staging, bool keepBackground,
                                 std::uint64_t& pixels) {
  if (!device || texture) return 0;
  if (!filling_) {
    const HRESULT created = device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                                  D3DPOOL_DEFAULT, &filling_, nullptr);
    if (FAILED(created)) {
      filling_ = nullptr;
      return created;
    }
    if (!filling_) return E_POINTER;
    tilesFilled_ = 0;
    // Counted from now: the memory is taken already.
    MemoryUse::textures += Limits::textureBytes(width, height, 1);
  }
  IDirect3DSurface9* target = nullptr;
  HRESULT error = filling_->GetSurfaceLevel(0, &target);
  if (SUCCEEDED(error) && !target) error = E_POINTER;
  const FrameTiles tiles(width, height);
  while (SUCCEEDED(error)) {
    const FrameTile tile = tiles[tilesFilled_];
    error = staging.copyTile(*this, tile, keepBackground, target);
    if (FAILED(error)) break;
    const std::uint64_t copied = std::uint64_t{tile.width} * tile.height;
    pixels -= copied < pixels ? copied : pixels;
    if (++tilesFilled_ == tiles.count() || pixels == 0) break;
  }
  if (target) target->Release();
  if (FAILED(error)) {
    releaseTexture();
    return error;
  }
  if (tilesFilled_ == tiles.count()) {
    texture = filling_;
    filling_ = nullptr;
  }
  return 0;
}

bool AnimationFrame::releaseTexture() {
  IDirect3DTexture9*& held = texture ? texture : filling_;
  if (!held) return false;
  held->Release();
  held = nullptr;
  MemoryUse::textures -= Limits::textureBytes(width, height, 1);
  return true;
}
