// A frame's Direct3D 9 texture: one dynamic A8R8G8B8 texture in the default pool.
#include <d3d9.h>

#include "gif/frame_list.h"
#include "gif/memory_limits.h"
#include "gif/memory_use.h"

long AnimationFrame::createTexture(IDirect3DDevice9* device, bool keepBackground) {
  if (!device || texture) return 0;
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

bool AnimationFrame::releaseTexture() {
  if (!texture) return false;
  texture->Release();
  texture = nullptr;
  MemoryUse::textures -= Limits::textureBytes(width, height, 1);
  return true;
}
