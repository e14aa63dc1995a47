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

std::vector<std::uint32_t> readTexture(IDirect3DTexture9* texture) {
  D3DSURFACE_DESC description;
  D3DLOCKED_RECT locked;
  if (FAILED(texture->GetLevelDesc(0, &description)) ||
      FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)))
    return {};
  std::vector<std::uint32_t> pixels;
  for (UINT y = 0; y < description.Height; ++y) {
    auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(locked.pBits) +
                                                       y * locked.Pitch);
    pixels.insert(pixels.end(), row, row + description.Width);
  }
  texture->UnlockRect(0);
  return pixels;
}
