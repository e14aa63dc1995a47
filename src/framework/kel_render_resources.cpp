#include "framework/kel_render_resources.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

HFONT makeFont(int height, const std::string& name) {
  return CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, name.c_str());
}

}  // namespace

KelTextureResource::KelTextureResource(unsigned width, unsigned height, D3DFORMAT format, DWORD usage)
    : textureWidth(width), textureHeight(height), format(format), usage(usage) {}

KelTextureResource::~KelTextureResource() { KelTextureResource::release(); }

bool KelTextureResource::recreate(IDirect3DDevice9* device) {
  KelTextureResource::release();
  if (!device || textureWidth == 0 || textureHeight == 0) return false;
  if (FAILED(device->CreateTexture(textureWidth, textureHeight, 1, usage, format, D3DPOOL_DEFAULT, &handle, nullptr))) {
    handle = nullptr;
    return false;
  }
  return true;
}

void KelTextureResource::release() {
  if (handle) handle->Release();
  handle = nullptr;
}

void KelTextureResource::setSize(unsigned width, unsigned height) {
  textureWidth = width;
  textureHeight = height;
}

KelTextResource::KelTextResource(std::string text, int fontHeight, D3DCOLOR colour, std::string fontName)
    : KelTextureResource(0, 0), content(std::move(text)), fontHeight(fontHeight), colour(colour),
      fontName(std::move(fontName)) {}

bool KelTextResource::recreate(IDirect3DDevice9* device) {
  ready = false;
  // The texture's size follows the text's extent in the font.
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  HFONT font = makeFont(fontHeight, fontName);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SIZE extent = {};
  GetTextExtentPoint32A(dc, content.c_str(), static_cast<int>(content.size()), &extent);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  DeleteDC(dc);
  setSize(static_cast<unsigned>(std::max<LONG>(extent.cx, 1)), static_cast<unsigned>(std::max<LONG>(extent.cy, 1)));
  if (!KelTextureResource::recreate(device)) return false;
  ready = renderText();
  return ready;
}

void KelTextResource::release() {
  ready = false;
  KelTextureResource::release();
}

bool KelTextResource::renderText() {
  const int w = static_cast<int>(width()), h = static_cast<int>(height());
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dc || !bitmap) {
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    return false;
  }
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HFONT font = makeFont(fontHeight, fontName);
  HGDIOBJ oldFont = SelectObject(dc, font);
  std::memset(bits, 0, static_cast<size_t>(w) * h * 4);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  TextOutA(dc, 0, 0, content.c_str(), static_cast<int>(content.size()));
  GdiFlush();

  bool copied = false;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(texture()->LockRect(0, &locked, nullptr, 0))) {
    const auto* source = static_cast<const std::uint32_t*>(bits);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
      for (int x = 0; x < w; ++x) {
        const std::uint32_t coverage = (source[y * w + x] >> 8) & 0xFF;  // green of white glyphs
        const std::uint32_t alpha = coverage * (colour >> 24) / 255;
        row[x] = (alpha << 24) | (colour & 0x00FFFFFF);
      }
    }
    texture()->UnlockRect(0);
    copied = true;
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return copied;
}
