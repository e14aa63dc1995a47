// A module that hooks one texture site by hand: at 0x728320 (raster on top of the stack, texture
// in EAX) a jump to its own code replaces the raster of texture "fire" by a raster of its own
// that carries a yellow texture. Built twice: the second (LEAVE_PATCH) forgets to put the
// game's bytes back when it is unloaded.
#include <windows.h>
#include <d3d9.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "host/host.h"

namespace {

constexpr std::uint32_t Site = Host::RasterSiteEax;
constexpr std::uint32_t Replacement = 0xFFFFFF00;  // yellow

std::uint8_t savedBytes[5];
std::uint8_t* stub = nullptr;
std::uint8_t* ownRaster = nullptr;
IDirect3DTexture9* ownTexture = nullptr;

void writeCode(std::uint32_t address, const void* bytes, size_t size) {
  DWORD old;
  void* target = reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
  VirtualProtect(target, size, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(target, bytes, size);
  VirtualProtect(target, size, old, &old);
  FlushInstructionCache(GetCurrentProcess(), target, size);
}

std::uint8_t* makeRaster(const std::uint8_t* model) {
  const int offset = Host::at<std::int32_t>(Host::RasterExtensionOffset);
  auto* device = Host::at<IDirect3DDevice9*>(Host::Device);
  if (!device || FAILED(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &ownTexture, nullptr)))
    return nullptr;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(ownTexture->LockRect(0, &locked, nullptr, 0))) {
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch)[x] = Replacement;
    ownTexture->UnlockRect(0);
  }
  auto* raster = new std::uint8_t[offset + Host::RasterExtensionSize]();
  std::memcpy(raster, model, Host::RasterHeaderSize);
  *reinterpret_cast<IDirect3DTexture9**>(raster + offset + Host::ExtensionTexture) = ownTexture;
  return raster;
}

extern "C" void __cdecl substitute(const std::uint8_t* texture, std::uint8_t** rasterSlot) {
  if (!texture || std::strcmp(reinterpret_cast<const char*>(texture + Host::TextureNameOffset), "fire") != 0) return;
  if (!ownRaster) ownRaster = makeRaster(*rasterSlot);
  if (ownRaster) *rasterSlot = ownRaster;
}

void install() {
  std::memcpy(savedBytes, reinterpret_cast<void*>(static_cast<std::uintptr_t>(Site)), sizeof savedBytes);
  std::int32_t displacement;
  std::memcpy(&displacement, savedBytes + 1, 4);
  const std::uint32_t gameCallee = Site + 5 + displacement;  // the game's own call at the site

  stub = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 64, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  std::uint8_t* p = stub;
  auto emit = [&p](std::initializer_list<std::uint8_t> bytes) {
    for (auto b : bytes) *p++ = b;
  };
  auto rel = [&p](std::uint32_t target) {
    const std::int32_t d = static_cast<std::int32_t>(target - (reinterpret_cast<std::uintptr_t>(p) + 4));
    std::memcpy(p, &d, 4);
    p += 4;
  };
  emit({0x60});                    // pushad
  emit({0x8D, 0x4C, 0x24, 0x20});  // lea ecx, [esp+32]: the raster slot
  emit({0x51, 0x50});              // push ecx; push eax (the texture)
  emit({0xE8});
  rel(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&substitute)));
  emit({0x83, 0xC4, 0x08, 0x61});  // add esp, 8; popad
  emit({0xE8});                    // the displaced call, relocated
  rel(gameCallee);
  emit({0xE9});                    // back behind the site
  rel(Site + 5);

  std::uint8_t patch[5] = {0xE9};
  const std::int32_t toStub = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(stub) - (Site + 5));
  std::memcpy(patch + 1, &toStub, 4);
  writeCode(Site, patch, sizeof patch);
}

void uninstall() {
#ifndef LEAVE_PATCH
  writeCode(Site, savedBytes, sizeof savedBytes);
#endif
  if (ownTexture) ownTexture->Release();
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) install();
  if (reason == DLL_PROCESS_DETACH) uninstall();
  return TRUE;
}
