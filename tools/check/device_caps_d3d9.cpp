#include <d3d9.h>

#include "check/device_caps.h"

namespace {

std::optional<TextureSizeLimit> askDirect3D() {
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d) return std::nullopt;
  D3DCAPS9 caps{};
  const HRESULT result = d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
  d3d->Release();
  if (FAILED(result)) return std::nullopt;
  return TextureSizeLimit{static_cast<unsigned>(caps.MaxTextureWidth), static_cast<unsigned>(caps.MaxTextureHeight)};
}

}  // namespace

std::optional<TextureSizeLimit> deviceTextureSizeLimit() {
  // Making Direct3D can take a second or more: the card is asked once a run, not once a file.
  static const std::optional<TextureSizeLimit> answer = askDirect3D();
  return answer;
}
