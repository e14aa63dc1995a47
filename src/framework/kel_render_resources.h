#pragma once
// Device-dependent resources that the render device events release before a device reset and
// make again after it, before the plug-in hears of either.
#include <d3d9.h>

#include <string>

// A resource with its own handling of a lost and a reset device.
class KelDeviceResource {
 public:
  virtual ~KelDeviceResource() = default;
  virtual void onDeviceLost() = 0;
  virtual void onDeviceReset(IDirect3DDevice9* device) = 0;
};

// A texture in the default pool, which a device reset requires to be released.
class KelTextureResource {
 public:
  KelTextureResource(unsigned width, unsigned height, D3DFORMAT format = D3DFMT_A8R8G8B8,
                     DWORD usage = D3DUSAGE_DYNAMIC);
  virtual ~KelTextureResource();
  KelTextureResource(const KelTextureResource&) = delete;
  KelTextureResource& operator=(const KelTextureResource&) = delete;

  // Makes the texture on `device`; false (and no texture) when the device refuses.
  virtual bool recreate(IDirect3DDevice9* device);
  virtual void release();

  IDirect3DTexture9* texture() const { return handle; }
  unsigned width() const { return textureWidth; }
  unsigned height() const { return textureHeight; }

 protected:
  void setSize(unsigned width, unsigned height);

 private:
  IDirect3DTexture9* handle = nullptr;
  unsigned textureWidth;
  unsigned textureHeight;
  D3DFORMAT format;
  DWORD usage;
};

// A line of text drawn with GDI into a texture of its own: white glyphs become `colour`, with
// the glyphs' coverage as alpha.
class KelTextResource : public KelTextureResource {
 public:
  KelTextResource(std::string text, int fontHeight, D3DCOLOR colour, std::string fontName = "Arial");

  bool recreate(IDirect3DDevice9* device) override;
  void release() override;

  // Drawable: the texture exists and holds the text.
  bool isReady() const { return ready; }
  const std::string& text() const { return content; }

 private:
  bool renderText();

  std::string content;
  int fontHeight;
  D3DCOLOR colour;
  std::string fontName;
  bool ready = false;
};
