// A frame's Direct3D 9 texture: one dynamic A8R8G8B8 texture in the default pool.
#include <d3d9.h>

#include "gif/frame_list.h"

void AnimationFrame::createTexture(IDirect3DDevice9* device, bool keepBackground) {
  if (!device || texture) return;
  IDirect3DTexture9* made = nullptr;
  if (FAILED(device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8,
                                   D3DPOOL_DEFAULT, &made, nullptr)) ||
      !made)
    return;
  D3DLOCKED_RECT locked{};
  // Every pixel is written: nothing to keep, so the driver need not wait for the device.
  if (FAILED(made->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD))) {
    made->Release();
    return;
  }
  if (locked.pBits) writePixels(locked.pBits, locked.Pitch, keepBackground);
  made->UnlockRect(0);
  if (!locked.pBits) {
    made->Release();
    return;
  }
  texture = made;
}

bool AnimationFrame::releaseTexture() {
  if (!texture) return false;
  texture->Release();
  texture = nullptr;
  return true;
}
