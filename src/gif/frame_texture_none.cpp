// Frames without Direct3D (the native build): no device can exist here, so there is never a
// texture to make, and a texture pointer can only be a marker set by a test, which is dropped
// without a call through it.
#include "gif/frame_list.h"

long AnimationFrame::createTexture(IDirect3DDevice9*, bool) { return 0; }

long AnimationFrame::fillTexture(IDirect3DDevice9*, StagingTexture&, bool, std::uint64_t&) { return 0; }

bool AnimationFrame::releaseTexture() {
  bool had = texture != nullptr;
  texture = nullptr;
  return had;
}
