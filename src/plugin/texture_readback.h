#pragma once
// A texture's top level as 0xAARRGGBB pixels, whatever its format: the device draws it into a
// render target of its own size, point-sampled with nothing blended, and the target is read
// back. Runs at the draw point (inside the game's scene); everything it makes is released
// before it returns and the render target, depth buffer and viewport are put back.
#include <cstdint>
#include <string>
#include <vector>

struct IDirect3DDevice9;
struct IDirect3DTexture9;

struct ReadPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // row by row
  std::string error;                  // why there are no pixels
};

ReadPicture readTexture(IDirect3DDevice9* device, IDirect3DTexture9* texture);
