#pragma once
// The pictures of the stand-in's scene textures and their bytes in each Direct3D 9 format the
// game uses, so that what a module reads back from a texture can be compared with what was
// drawn. A texture given a format shows its colour in a fine checker over a gradient: every 4 x 4
// block holds exactly two colours (and two alphas), so the block-compressed formats keep it
// within their 16-bit colour precision. No Windows headers: the encoders are tested anywhere.
#include <cstdint>
#include <string>
#include <vector>

#include "game/standin_types.h"

namespace Standin {

// D3DFORMAT values the stand-in can fill (P8: palettized through the raster's palette record).
bool isPictureFormat(std::uint32_t d3dFormat);
// What a format must have to hold the picture: "" or why not (e.g. DXT sizes are multiples of 4).
std::string pictureFormatProblem(std::uint32_t d3dFormat, int width, int height);
// The largest difference per channel between the picture and what the format gives back.
int pictureTolerance(std::uint32_t d3dFormat);

// 0xAARRGGBB per pixel, row by row. A P8 picture is its indices through the 256 entries of
// palette (the palette record), which the texture then holds expanded.
std::vector<std::uint32_t> texturePicture(const TextureSpec& spec, const std::uint32_t* palette = nullptr);

struct EncodedPicture {
  std::uint32_t d3dFormat = 0;        // the texture's format (A8R8G8B8 for P8)
  int rows = 0;                       // rows of bytes (a block row for DXT)
  int rowBytes = 0;
  std::vector<std::uint8_t> bytes;
};
EncodedPicture encodePicture(std::uint32_t d3dFormat, int width, int height, const std::vector<std::uint32_t>& picture);

}  // namespace Standin
