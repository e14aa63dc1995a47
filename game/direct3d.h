#pragma once
// The game's Direct3D 9: d3d9.dll loaded on demand (so a module can see it appear), one device
// on the game window, solid-colour textures, textured quads, back-buffer captures and Reset.
#include <windows.h>
#include <d3d9.h>

#include <cstdint>

#include "game/standin_types.h"

namespace Standin {

class Direct3D {
 public:
  ~Direct3D();
  // Loads d3d9.dll and creates the device; false (and stays unloaded) on failure.
  bool load(HWND window, int width, int height);
  bool loaded() const { return device_ != nullptr; }
  IDirect3DDevice9* device() const { return device_; }

  // A managed-pool A8R8G8B8 texture of one colour; null on failure.
  IDirect3DTexture9* solidTexture(int width, int height, std::uint32_t argb);
  // Paints every pixel of an A8R8G8B8 texture's first level in one colour.
  static void fill(IDirect3DTexture9* texture, std::uint32_t argb);

  bool beginFrame(std::uint32_t clearColour);
  // Draws texture (or, when null, a quad of fallback colour) at x, y.
  void drawQuad(IDirect3DBaseTexture9* texture, int x, int y, int width, int height, bool alphaBlend,
                std::uint32_t fallbackColour);
  void endFrame();
  Capture capture();
  void present();
  HRESULT reset();

 private:
  void setDrawState(bool textured, bool alphaBlend);

  HMODULE library_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  D3DPRESENT_PARAMETERS parameters_{};
  bool inScene_ = false;
};

}  // namespace Standin
