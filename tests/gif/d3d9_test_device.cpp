#include "d3d9_test_device.h"

TestDevice::TestDevice() {
  window_ = CreateWindowExA(0, "STATIC", "velquor texture test", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!window_) {
    error_ = "CreateWindowExA failed";
    return;
  }
  d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d_) {
    error_ = "Direct3DCreate9 failed";
    return;
  }
  parameters_.Windowed = TRUE;
  parameters_.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters_.BackBufferFormat = D3DFMT_UNKNOWN;
  parameters_.hDeviceWindow = window_;
  HRESULT result = d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                                      D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters_, &device_);
  if (FAILED(result)) {
    device_ = nullptr;
    error_ = "CreateDevice failed with " + std::to_string(static_cast<long>(result));
  }
}

TestDevice::~TestDevice() {
  if (device_) device_->Release();
  if (d3d_) d3d_->Release();
  if (window_) DestroyWindow(window_);
}

HRESULT TestDevice::reset() {
  D3DPRESENT_PARAMETERS parameters = parameters_;
  return device_->Reset(&parameters);
}

namespace {

std::vector<std::uint32_t> rows(const D3DLOCKED_RECT& locked, UINT width, UINT height) {
  std::vector<std::uint32_t> pixels;
  for (UINT y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(locked.pBits) +
                                                       y * locked.Pitch);
    pixels.insert(pixels.end(), row, row + width);
  }
  return pixels;
}

// A render-target texture cannot be locked: its pixels come through a system-memory copy.
std::vector<std::uint32_t> readRenderTarget(IDirect3DTexture9* texture, const D3DSURFACE_DESC& description) {
  IDirect3DDevice9* device = nullptr;
  IDirect3DSurface9* surface = nullptr;
  IDirect3DSurface9* copy = nullptr;
  std::vector<std::uint32_t> pixels;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(texture->GetDevice(&device)) && SUCCEEDED(texture->GetSurfaceLevel(0, &surface)) &&
      SUCCEEDED(device->CreateOffscreenPlainSurface(description.Width, description.Height, description.Format,
                                                    D3DPOOL_SYSTEMMEM, &copy, nullptr)) &&
      SUCCEEDED(device->GetRenderTargetData(surface, copy)) &&
      SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
    pixels = rows(locked, description.Width, description.Height);
    copy->UnlockRect();
  }
  if (copy) copy->Release();
  if (surface) surface->Release();
  if (device) device->Release();
  return pixels;
}

}  // namespace

std::vector<std::uint32_t> readTexture(IDirect3DTexture9* texture) {
  D3DSURFACE_DESC description;
  D3DLOCKED_RECT locked;
  if (FAILED(texture->GetLevelDesc(0, &description))) return {};
  if (description.Usage & D3DUSAGE_RENDERTARGET) return readRenderTarget(texture, description);
  if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return {};
  std::vector<std::uint32_t> pixels = rows(locked, description.Width, description.Height);
  texture->UnlockRect(0);
  return pixels;
}
