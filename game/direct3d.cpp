#include "game/direct3d.h"

#include <cstring>

#include "game/picture_texture.h"

namespace Standin {

namespace {

struct QuadVertex {
  float x, y, z, rhw;
  DWORD colour;
  float u, v;
};
constexpr DWORD QuadFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

}  // namespace

Direct3D::~Direct3D() {
  // The device outlives the modules' unloading; released last, like a game shutting down.
  if (device_) device_->Release();
  if (d3d_) d3d_->Release();
}

bool Direct3D::load(HWND window, int width, int height) {
  if (device_) return true;
  library_ = LoadLibraryA("d3d9.dll");
  if (!library_) return false;
  using Create = IDirect3D9*(WINAPI*)(UINT);
  auto create = reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(library_, "Direct3DCreate9")));
  if (!create || !(d3d_ = create(D3D_SDK_VERSION))) return false;

  parameters_ = {};
  parameters_.BackBufferWidth = static_cast<UINT>(width);
  parameters_.BackBufferHeight = static_cast<UINT>(height);
  parameters_.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters_.BackBufferCount = 1;
  parameters_.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters_.hDeviceWindow = window;
  parameters_.Windowed = TRUE;
  parameters_.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  // FPU_PRESERVE: test code in the process relies on double precision.
  HRESULT hr = d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                  D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &parameters_,
                                  &device_);
  if (FAILED(hr)) {
    device_ = nullptr;
    return false;
  }
  return true;
}

IDirect3DTexture9* Direct3D::solidTexture(int width, int height, std::uint32_t argb) {
  if (!device_) return nullptr;
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(device_->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0, D3DFMT_A8R8G8B8,
                                    D3DPOOL_MANAGED, &texture, nullptr)))
    return nullptr;
  fill(texture, argb);
  return texture;
}

void Direct3D::fill(IDirect3DTexture9* texture, std::uint32_t argb) {
  // In the texture's own format: a scene texture may be 16-bit or block-compressed.
  fillTexture(texture, argb);
}

bool Direct3D::beginFrame(std::uint32_t clearColour) {
  if (!device_) return false;
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, clearColour, 1.0f, 0);
  inScene_ = SUCCEEDED(device_->BeginScene());
  return inScene_;
}

void Direct3D::setDrawState(bool textured, bool alphaBlend) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, alphaBlend ? TRUE : FALSE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
  device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
  const DWORD source = textured ? D3DTA_TEXTURE : D3DTA_DIFFUSE;
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, source);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, source);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device_->SetVertexShader(nullptr);
  device_->SetPixelShader(nullptr);
  device_->SetFVF(QuadFormat);
}

void Direct3D::drawQuad(IDirect3DBaseTexture9* texture, int x, int y, int width, int height, bool alphaBlend,
                        std::uint32_t fallbackColour) {
  if (!inScene_) return;
  setDrawState(texture != nullptr, alphaBlend);
  device_->SetTexture(0, texture);
  const float left = static_cast<float>(x) - 0.5f, top = static_cast<float>(y) - 0.5f;
  const float right = left + static_cast<float>(width), bottom = top + static_cast<float>(height);
  const QuadVertex quad[4] = {{left, top, 0, 1, fallbackColour, 0, 0},
                              {right, top, 0, 1, fallbackColour, 1, 0},
                              {left, bottom, 0, 1, fallbackColour, 0, 1},
                              {right, bottom, 0, 1, fallbackColour, 1, 1}};
  device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(QuadVertex));
  device_->SetTexture(0, nullptr);
}

void Direct3D::endFrame() {
  if (inScene_) device_->EndScene();
  inScene_ = false;
}

Capture Direct3D::capture() {
  Capture out;
  if (!device_) return out;
  IDirect3DSurface9* backBuffer = nullptr;
  IDirect3DSurface9* copy = nullptr;
  if (SUCCEEDED(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) {
    D3DSURFACE_DESC desc;
    backBuffer->GetDesc(&desc);
    // System memory, so a capture never keeps a Reset from succeeding.
    if (SUCCEEDED(device_->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                       &copy, nullptr)) &&
        SUCCEEDED(device_->GetRenderTargetData(backBuffer, copy))) {
      D3DLOCKED_RECT locked;
      if (SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        out.width = static_cast<int>(desc.Width);
        out.height = static_cast<int>(desc.Height);
        out.pixels.resize(static_cast<size_t>(out.width) * out.height);
        for (int y = 0; y < out.height; ++y) {
          const auto* row =
              reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch);
          for (int x = 0; x < out.width; ++x) out.pixels[static_cast<size_t>(y) * out.width + x] = row[x] | 0xFF000000u;
        }
        copy->UnlockRect();
      }
    }
  }
  if (copy) copy->Release();
  if (backBuffer) backBuffer->Release();
  return out;
}

void Direct3D::present() {
  if (device_) device_->Present(nullptr, nullptr, nullptr, nullptr);
}

HRESULT Direct3D::reset() {
  if (!device_) return E_FAIL;
  D3DPRESENT_PARAMETERS parameters = parameters_;  // Reset may write to them
  return device_->Reset(&parameters);
}

}  // namespace Standin
