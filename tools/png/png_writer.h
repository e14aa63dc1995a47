#pragma once
// Writes 32-bit RGBA PNG files from a pixel buffer through libpng: used for screen
// captures of the stand-in game and for the contact sheets of the inspect tool.
//
// Pixel format: each pixel is one 32-bit value 0xAARRGGBB, alpha in the top byte, then red, green,
// blue. That is Direct3D's A8R8G8B8 (in memory on x86: blue, green, red, alpha), so the bits of a
// locked A8R8G8B8 surface can be passed as they are, with the locked pitch as the stride.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VelquorPng {

// The PNG file of a width x height picture; row y starts strideBytes bytes after row y - 1
// (0 means tightly packed rows, width * 4). An empty result means the size cannot be encoded
// (0 or above 2^31 - 1 in a dimension, or a stride shorter than a row).
std::vector<std::uint8_t> encodePng(std::uint32_t width, std::uint32_t height, const std::uint32_t* argb,
                                    std::size_t strideBytes = 0);

// encodePng written to path; false if the picture cannot be encoded or the file not written.
bool writePng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint32_t* argb,
              std::size_t strideBytes = 0);

// The checksums PNG and zlib use (zlib's); pass the previous result to continue over more data.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t previous = 0);
std::uint32_t adler32(const std::uint8_t* data, std::size_t size, std::uint32_t previous = 1);

}  // namespace VelquorPng
