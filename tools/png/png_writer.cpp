#include "png/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace VelquorPng {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

void flushNothing(png_structp) {}

void onError(png_structp png, png_const_charp) { std::longjmp(png_jmpbuf(png), 1); }

void onWarning(png_structp, png_const_charp) {}

// Only plain data lives here: libpng leaves by longjmp on an error. `out` is filled by libpng.
bool writeWithLibpng(std::vector<std::uint8_t>* out, std::uint32_t width, std::uint32_t height, png_bytepp rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_write_fn(png, out, appendBytes, flushNothing);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);  // A8R8G8B8 is blue, green, red, alpha in memory
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<std::uint8_t> encodePng(std::uint32_t width, std::uint32_t height, const std::uint32_t* argb,
                                    std::size_t strideBytes) {
  constexpr std::uint32_t MaxDimension = 0x7FFFFFFF;
  if (width == 0 || height == 0 || width > MaxDimension || height > MaxDimension || argb == nullptr) return {};
  const std::size_t rowBytes = std::size_t(width) * 4;
  if (strideBytes == 0) strideBytes = rowBytes;
  if (strideBytes < rowBytes) return {};
  // Refuse pictures the address space cannot hold.
  if (strideBytes > SIZE_MAX / height) return {};

  std::vector<png_bytep> rows(height);
  // libpng copies each row before it converts it: the caller's pixels are only read.
  auto* first = reinterpret_cast<png_bytep>(const_cast<std::uint32_t*>(argb));
  for (std::uint32_t y = 0; y < height; ++y) rows[y] = first + std::size_t{y} * strideBytes;
  std::vector<std::uint8_t> out;
  if (!writeWithLibpng(&out, width, height, rows.data())) return {};
  return out;
}

bool writePng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint32_t* argb,
              std::size_t strideBytes) {
  std::vector<std::uint8_t> bytes = encodePng(width, height, argb, strideBytes);
  if (bytes.empty()) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok;
}

}  // namespace VelquorPng
