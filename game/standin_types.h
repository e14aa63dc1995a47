#pragma once
// Plain records shared by the stand-in, its scenario reader and test drivers (no Windows headers).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Standin {

// One texture of the scene, drawn every frame as a quad in the next cell of a grid.
struct TextureSpec {
  std::string name;              // written at offset 16 of the texture record (at most 31 chars)
  int width = 64;
  int height = 64;
  std::uint32_t argb = 0xFFFFFFFF;  // solid colour of its Direct3D texture, 0xAARRGGBB
  std::uint32_t site = 0x728320;    // one of the five texture sites
  bool alpha = false;               // the raster's alpha flag (the quad is alpha-blended)
  bool palette = false;             // the raster carries a 1028-byte palette record
  // 0: one colour, A8R8G8B8. A D3DFORMAT: a picture in that format (texture_pictures.h).
  std::uint32_t format = 0;
};

// What the game drew one texture with in one frame.
struct DrawRecord {
  int frame = 0;
  std::string texture;             // name of the texture record that went through the site
  std::uint32_t site = 0;
  std::uint32_t textureRecord = 0;
  std::uint32_t raster = 0;        // the raster the game ended up with after the site
  std::uint32_t ownRaster = 0;     // the game's own raster of that texture
  std::uint32_t d3dTexture = 0;    // the IDirect3DTexture9 read from the raster's extension
  std::uint32_t ownD3dTexture = 0; // the game's own texture of that raster
  std::uint32_t palette = 0;       // palette record pointer of the raster drawn with
  int paletteIndex = -1;           // its global palette index, -1 without palette
  bool alphaFlag = false;          // alpha byte of the raster drawn with
  std::uint32_t ownPalette = 0;    // palette record pointer of the texture's own raster
  bool ownAlpha = false;           // alpha byte of the texture's own raster
  // The raster drawn with agrees with the texture's own raster in every byte but the Direct3D
  // texture, the palette pointer and the alpha byte.
  bool agrees = true;
  // The raster, its palette record or its Direct3D texture is something the game has freed.
  bool stale = false;
  bool swapped() const { return raster != ownRaster; }
};

struct MessageBoxRecord {
  int frame = 0;                   // frame during which the box was found
  std::string caption;
  std::string text;
};

struct ResetRecord {
  int frame = 0;
  long result = 0;                 // HRESULT of IDirect3DDevice9::Reset
};

struct WindowMessage {
  unsigned message = 0;
  std::uint32_t wParam = 0;
  std::int32_t lParam = 0;
};

// A run of game code bytes that differs from the pristine image.
struct ChangedBytes {
  std::uint32_t address = 0;
  std::vector<std::uint8_t> now;
  std::vector<std::uint8_t> original;
};

// How long one frame's scene routine took, timed with the performance counter. A site's time
// runs from the call of its routine to the moment the game reads the raster that came out: all
// a module adds to a texture use, and none of the game's own drawing.
struct SceneTiming {
  int frame = 0;
  int uses = 0;                  // texture uses (site calls) in the scene routine
  int swapped = 0;               // uses that ended with a raster other than the texture's own
  double sceneNs = 0;            // the whole scene routine from the draw point on
  double longestSiteNs = 0;      // the slowest single site; sites are timed only while drawing
  int longestSiteTexture = -1;   // its index in the scene, -1 when not timed
};

// The back buffer of one frame, 0xAARRGGBB per pixel (alpha forced to 0xFF).
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Where a scene texture's quad lies in the window: the cell's centre, for pixel checks.
struct Point {
  int x = 0;
  int y = 0;
};

}  // namespace Standin
