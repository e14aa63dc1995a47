#pragma once
// A real Direct3D 9 device on a hidden window (Wine's d3d9 under an X server), and reading a
// texture back.
#include <d3d9.h>

#include <cstdint>
#include <string>
#include <vector>

class TestDevice {
 public:
  TestDevice();
  ~TestDevice();
  TestDevice(const TestDevice&) = delete;
  TestDevice& operator=(const TestDevice&) = delete;

  IDirect3DDevice9* get() const { return device_; }
  const std::string& error() const { return error_; }
  // Reset with the parameters the device was made with.
  HRESULT reset();

 private:
  HWND window_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  D3DPRESENT_PARAMETERS parameters_{};
  std::string error_;
};

// Every pixel of level 0, row by row (width x height), or empty if it cannot be read.
std::vector<std::uint32_t> readTexture(IDirect3DTexture9* texture);
