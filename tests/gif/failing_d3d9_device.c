// C, for the COM structures with named vtable members: a device that implements just enough.
#include <d3d9.h>
#include <string.h>

#include "failing_d3d9_device.h"

static struct FailingDeviceCalls* counters;

// A pointer that a failing CreateTexture leaves behind: using it would crash.
#define POISONED_TEXTURE ((IDirect3DTexture9*)(UINT_PTR)0xDEAD0000u)

static ULONG STDMETHODCALLTYPE textureAddRef(IDirect3DTexture9* self) { return 2; }
static ULONG STDMETHODCALLTYPE textureRelease(IDirect3DTexture9* self) {
  ++counters->textureReleases;
  return 0;
}
static HRESULT STDMETHODCALLTYPE textureLockRectFails(IDirect3DTexture9* self, UINT level,
                                                      D3DLOCKED_RECT* locked, const RECT* rect,
                                                      DWORD flags) {
  ++counters->lockRect;
  locked->pBits = (void*)POISONED_TEXTURE;
  locked->Pitch = 4;
  return D3DERR_INVALIDCALL;
}
static HRESULT STDMETHODCALLTYPE textureUnlockRect(IDirect3DTexture9* self, UINT level) {
  ++counters->unlockRect;
  return D3D_OK;
}

static IDirect3DTexture9Vtbl unlockableTextureMethods;
static IDirect3DTexture9 unlockableTexture = {&unlockableTextureMethods};

static ULONG STDMETHODCALLTYPE deviceAddRef(IDirect3DDevice9* self) { return 1; }
static ULONG STDMETHODCALLTYPE deviceRelease(IDirect3DDevice9* self) { return 1; }

static HRESULT STDMETHODCALLTYPE createTextureFails(IDirect3DDevice9* self, UINT width, UINT height,
                                                    UINT levels, DWORD usage, D3DFORMAT format,
                                                    D3DPOOL pool, IDirect3DTexture9** texture,
                                                    HANDLE* shared) {
  ++counters->createTexture;
  *texture = POISONED_TEXTURE;
  return D3DERR_OUTOFVIDEOMEMORY;
}

static HRESULT STDMETHODCALLTYPE createUnlockableTexture(IDirect3DDevice9* self, UINT width,
                                                         UINT height, UINT levels, DWORD usage,
                                                         D3DFORMAT format, D3DPOOL pool,
                                                         IDirect3DTexture9** texture,
                                                         HANDLE* shared) {
  ++counters->createTexture;
  *texture = &unlockableTexture;
  return D3D_OK;
}

// Caps cannot be read either: the texture's size is not known to be too large.
static HRESULT STDMETHODCALLTYPE capsFail(IDirect3DDevice9* self, D3DCAPS9* caps) {
  return D3DERR_INVALIDCALL;
}

// Caps of a card that copies from textures, with room for any size.
static HRESULT STDMETHODCALLTYPE capsCopying(IDirect3DDevice9* self, D3DCAPS9* caps) {
  memset(caps, 0, sizeof *caps);
  caps->DevCaps2 = D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
  caps->MaxTextureWidth = caps->MaxTextureHeight = 8192;
  return D3D_OK;
}

static IDirect3DDevice9Vtbl failingCreateMethods;
static IDirect3DDevice9Vtbl failingLockMethods;
static IDirect3DDevice9 failingCreateDevice = {&failingCreateMethods};
static IDirect3DDevice9 failingLockDevice = {&failingLockMethods};

static void start(struct FailingDeviceCalls* calls) {
  memset(calls, 0, sizeof *calls);
  counters = calls;
  unlockableTextureMethods.AddRef = textureAddRef;
  unlockableTextureMethods.Release = textureRelease;
  unlockableTextureMethods.LockRect = textureLockRectFails;
  unlockableTextureMethods.UnlockRect = textureUnlockRect;
}

IDirect3DDevice9* deviceFailingCreateTexture(struct FailingDeviceCalls* calls) {
  start(calls);
  failingCreateMethods.AddRef = deviceAddRef;
  failingCreateMethods.Release = deviceRelease;
  failingCreateMethods.CreateTexture = createTextureFails;
  failingCreateMethods.GetDeviceCaps = capsFail;
  return &failingCreateDevice;
}

IDirect3DDevice9* deviceFailingCreateTextureThatCopies(struct FailingDeviceCalls* calls) {
  IDirect3DDevice9* device = deviceFailingCreateTexture(calls);
  failingCreateMethods.GetDeviceCaps = capsCopying;
  return device;
}

IDirect3DDevice9* deviceFailingLockRect(struct FailingDeviceCalls* calls) {
  start(calls);
  failingLockMethods.AddRef = deviceAddRef;
  failingLockMethods.Release = deviceRelease;
  failingLockMethods.CreateTexture = createUnlockableTexture;
  failingLockMethods.GetDeviceCaps = capsFail;
  return &failingLockDevice;
}
