#include "plugin/texture_readback.h"

#include <d3d9.h>

#include <cstring>

#include "plugin/com_held.h"

namespace {

struct Vertex {
  float x, y, z, rhw, u, v;
};

void drawWhole(IDirect3DDevice9* device, IDirect3DTexture9* texture, UINT width, UINT height) {
  device->SetTexture(0, texture);
  device->SetTexture(1, nullptr);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
  device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
  device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  device->SetSamplerState(0, D3DSAMP_SRGBTEXTURE, FALSE);
  const DWORD off[] = {D3DRS_ZENABLE, D3DRS_ZWRITEENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_ALPHATESTENABLE, D3DRS_LIGHTING,
                       D3DRS_FOGENABLE, D3DRS_STENCILENABLE, D3DRS_SCISSORTESTENABLE, D3DRS_SRGBWRITEENABLE,
                       D3DRS_CLIPPLANEENABLE};
  for (DWORD state : off) device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
  device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
  device->SetVertexShader(nullptr);
  device->SetPixelShader(nullptr);
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  // Pixel centres on texel centres: the half-pixel shift of Direct3D 9.
  const float w = static_cast<float>(width) - 0.5f, h = static_cast<float>(height) - 0.5f;
  const Vertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0, 0}, {w, -0.5f, 0, 1, 1, 0}, {-0.5f, h, 0, 1, 0, 1}, {w, h, 0, 1, 1, 1}};
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
}

}  // namespace

ReadPicture readTexture(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
  ReadPicture picture;
  if (!device || !texture) {
    picture.error = "no Direct3D texture";
    return picture;
  }
  D3DSURFACE_DESC desc;
  HRESULT result = texture->GetLevelDesc(0, &desc);
  if (FAILED(result)) {
    picture.error = failedStep("reading its description", result);
    return picture;
  }
  Held<IDirect3DSurface9> target, copy, oldTarget, oldDepth;
  result = device->CreateRenderTarget(desc.Width, desc.Height, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                      &target.p, nullptr);
  if (FAILED(result)) {
    picture.error = failedStep("making a render target of its size", result);
    return picture;
  }
  result = device->CreateOffscreenPlainSurface(desc.Width, desc.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy.p,
                                               nullptr);
  if (FAILED(result)) {
    picture.error = failedStep("making a surface to read into", result);
    return picture;
  }
  D3DVIEWPORT9 viewport;
  device->GetViewport(&viewport);
  device->GetRenderTarget(0, &oldTarget.p);
  device->GetDepthStencilSurface(&oldDepth.p);
  device->SetRenderTarget(0, target.p);
  device->SetDepthStencilSurface(nullptr);
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  drawWhole(device, texture, desc.Width, desc.Height);
  device->SetRenderTarget(0, oldTarget.p);
  device->SetDepthStencilSurface(oldDepth.p);
  device->SetViewport(&viewport);
  result = device->GetRenderTargetData(target.p, copy.p);
  if (FAILED(result)) {
    picture.error = failedStep("reading the render target", result);
    return picture;
  }
  D3DLOCKED_RECT locked;
  result = copy.p->LockRect(&locked, nullptr, D3DLOCK_READONLY);
  if (FAILED(result)) {
    picture.error = failedStep("locking the copy", result);
    return picture;
  }
  picture.width = static_cast<int>(desc.Width);
  picture.height = static_cast<int>(desc.Height);
  picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(&picture.pixels[static_cast<std::size_t>(y) * picture.width],
                static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch, desc.Width * 4u);
  copy.p->UnlockRect();
  return picture;
}
