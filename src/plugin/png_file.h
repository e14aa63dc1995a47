#pragma once
// A picture written as a PNG file by Windows' own imaging component (WIC), loaded only when a
// picture is saved; and read back (for tests and tools).
#include <cstdint>
#include <string>
#include <vector>

// pixels: 0xAARRGGBB, row by row. Returns "" once the file is written, otherwise why not.
std::string writePngFile(const std::string& utf8Path, int width, int height, const std::uint32_t* pixels);

struct PngPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, row by row
  std::string error;
};
PngPicture readPngFile(const std::string& utf8Path);
