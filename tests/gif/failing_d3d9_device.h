#pragma once
// Direct3D 9 devices that fail where a texture is made: ones whose CreateTexture fails, one whose
// textures fail LockRect. Only the methods a frame calls are implemented; they count the calls.
struct IDirect3DDevice9;

#ifdef __cplusplus
extern "C" {
#endif

struct FailingDeviceCalls {
  int createTexture;
  int lockRect;
  int unlockRect;
  int textureReleases;  // Release calls on textures the device handed out
};

// The counters are reset by each call; the devices are static and never freed.
struct IDirect3DDevice9* deviceFailingCreateTexture(struct FailingDeviceCalls* calls);
struct IDirect3DDevice9* deviceFailingLockRect(struct FailingDeviceCalls* calls);
// Fails CreateTexture too, but says it copies from textures (as a card that could take tiles).
struct IDirect3DDevice9* deviceFailingCreateTextureThatCopies(struct FailingDeviceCalls* calls);

#ifdef __cplusplus
}
#endif
