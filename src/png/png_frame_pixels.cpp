#include "png/png_frame_pixels.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <memory>

#include "png/png_limits.h"

namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
  out.insert(out.end(), b, b + 4);
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data, std::size_t size) {
  putU32(out, static_cast<std::uint32_t>(size));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  if (size) out.insert(out.end(), data, data + size);
  putU32(out, static_cast<std::uint32_t>(::crc32(0, out.data() + typeAt, static_cast<uInt>(size + 4))));
}

// The stream libpng reads: a whole PNG file holding the one frame.
std::vector<std::uint8_t> frameAsPng(const PngFrameData& file, std::uint32_t width, std::uint32_t height,
                                     const std::vector<std::uint8_t>& compressed) {
  static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> png(signature, signature + 8);
  png.reserve(compressed.size() + file.palette.size() + file.transparency.size() + 80);
  std::vector<std::uint8_t> ihdr;
  putU32(ihdr, width);
  putU32(ihdr, height);
  const PngImageHeader& h = file.header;
  ihdr.insert(ihdr.end(), {h.bitDepth, h.colourType, h.compression, h.filter, h.interlace});
  putChunk(png, "IHDR", ihdr.data(), ihdr.size());
  if (!file.palette.empty()) putChunk(png, "PLTE", file.palette.data(), file.palette.size());
  if (!file.transparency.empty()) putChunk(png, "tRNS", file.transparency.data(), file.transparency.size());
  putChunk(png, "IDAT", compressed.data(), compressed.size());
  putChunk(png, "IEND", nullptr, 0);
  return png;
}

struct Reading {
  const std::uint8_t* data;
  std::size_t size, at;
  char message[200];
};

void readBytes(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<Reading*>(png_get_io_ptr(png));
  if (n > r->size - r->at) png_error(png, "Read past the end of the frame");
  std::memcpy(out, r->data + r->at, n);
  r->at += n;
}

void onError(png_structp png, png_const_charp message) {
  auto* r = static_cast<Reading*>(png_get_error_ptr(png));
  std::strncpy(r->message, message ? message : "libpng error", sizeof r->message - 1);
  std::longjmp(png_jmpbuf(png), 1);
}

void onWarning(png_structp, png_const_charp) {}  // nothing a player can act on

// Only plain data lives here: libpng leaves by longjmp on an error.
bool readWithLibpng(Reading& reading, std::uint32_t width, std::uint32_t height, png_bytep* rows) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, onError, onWarning);
  if (!png) {
    std::strcpy(reading.message, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!reading.message[0]) std::strcpy(reading.message, "out of memory");
    return false;
  }
  png_set_user_limits(png, PngLimits::MaxNumber, PngLimits::MaxNumber);  // checked before this
  png_set_read_fn(png, &reading, readBytes);
  png_read_info(png, info);
  png_set_expand(png);          // palette and low bit depths to 8-bit channels, tRNS to alpha
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);             // B, G, R, A in memory: A8R8G8B8 on a little-endian machine
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != png_size_t{width} * 4) png_error(png, "unexpected row size");
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

std::uint64_t PngImageHeader::rawBytes(std::uint32_t w, std::uint32_t h) const {
  const unsigned channels[] = {1, 0, 3, 1, 2, 0, 4};
  const std::uint64_t bitsPerPixel = std::uint64_t{channels[colourType <= 6 ? colourType : 1]} * bitDepth;
  auto rows = [&](std::uint64_t pw, std::uint64_t ph) {
    return pw == 0 || ph == 0 ? 0 : ph * (1 + (pw * bitsPerPixel + 7) / 8);
  };
  if (!interlace) return rows(w, h);
  // Adam7: each pass is its own sub-image, with its own filter bytes.
  static const int x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
  static const int y0[7] = {0, 0, 4, 0, 2, 0, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
  std::uint64_t total = 0;
  for (int p = 0; p < 7; ++p)
    total += rows((std::uint64_t{w} + dx[p] - 1 - x0[p]) / dx[p] * (w > unsigned(x0[p])),
                  (std::uint64_t{h} + dy[p] - 1 - y0[p]) / dy[p] * (h > unsigned(y0[p])));
  return total;
}

std::string PngImageHeader::problem() const {
  const auto depthIs = [&](std::initializer_list<int> allowed) {
    for (int d : allowed)
      if (d == bitDepth) return true;
    return false;
  };
  bool depthOk;
  switch (colourType) {
    case 0: depthOk = depthIs({1, 2, 4, 8, 16}); break;
    case 3: depthOk = depthIs({1, 2, 4, 8}); break;
    case 2: case 4: case 6: depthOk = depthIs({8, 16}); break;
    default: return "its IHDR chunk gives colour type " + std::to_string(colourType) + ", which PNG does not have";
  }
  if (!depthOk)
    return "its IHDR chunk gives bit depth " + std::to_string(bitDepth) + " for colour type " +
           std::to_string(colourType) + ", which PNG does not allow";
  if (compression != 0 || filter != 0 || interlace > 1)
    return "its IHDR chunk asks for a compression, filter or interlace method PNG does not have";
  return {};
}

bool decodeFramePixels(const PngFrameData& file, std::uint32_t width, std::uint32_t height,
                       const std::vector<std::uint8_t>& compressed, std::uint32_t* pixels, std::size_t stride,
                       std::string& why) {
  const std::vector<std::uint8_t> png = frameAsPng(file, width, height, compressed);
  std::vector<png_bytep> rows(height);
  for (std::uint32_t y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(pixels + y * stride);
  Reading reading{png.data(), png.size(), 0, {}};
  if (readWithLibpng(reading, width, height, rows.data())) return true;
  why = reading.message;
  return false;
}
