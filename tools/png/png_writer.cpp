#include "png/png_writer.h"

#include <cstdio>
#include <cstring>

#include "png/deflate.h"

namespace VelquorPng {

namespace {

void putU32be(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putChunk(std::vector<std::uint8_t>& out, const char type[4], const std::uint8_t* data, std::size_t size) {
  putU32be(out, static_cast<std::uint32_t>(size));
  std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  if (size > 0) out.insert(out.end(), data, data + size);
  putU32be(out, crc32(out.data() + typeAt, size + 4));
}

}  // namespace

std::vector<std::uint8_t> encodePng(std::uint32_t width, std::uint32_t height, const std::uint32_t* argb,
                                    std::size_t strideBytes) {
  constexpr std::uint32_t MaxDimension = 0x7FFFFFFF;
  if (width == 0 || height == 0 || width > MaxDimension || height > MaxDimension || argb == nullptr) return {};
  const std::size_t rowBytes = std::size_t(width) * 4;
  if (strideBytes == 0) strideBytes = rowBytes;
  if (strideBytes < rowBytes) return {};
  // One filter byte (0: none) and RGBA bytes per row; refuse sizes the address space cannot hold.
  if ((rowBytes + 1) > SIZE_MAX / height) return {};

  std::vector<std::uint8_t> raw;
  raw.reserve((rowBytes + 1) * height);
  const std::uint8_t* row = reinterpret_cast<const std::uint8_t*>(argb);
  for (std::uint32_t y = 0; y < height; ++y, row += strideBytes) {
    raw.push_back(0);
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint32_t p;
      std::memcpy(&p, row + std::size_t(x) * 4, 4);  // the stride need not keep pixels aligned
      raw.push_back(static_cast<std::uint8_t>(p >> 16));
      raw.push_back(static_cast<std::uint8_t>(p >> 8));
      raw.push_back(static_cast<std::uint8_t>(p));
      raw.push_back(static_cast<std::uint8_t>(p >> 24));
    }
  }

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  putU32be(header, width);
  putU32be(header, height);
  header.push_back(8);  // bits per channel
  header.push_back(6);  // colour type: RGBA
  header.push_back(0);  // deflate
  header.push_back(0);  // adaptive filtering
  header.push_back(0);  // not interlaced
  putChunk(out, "IHDR", header.data(), header.size());
  std::vector<std::uint8_t> compressed = zlibCompress(raw.data(), raw.size());
  // Readers accept the stream split over several IDAT chunks; bounded chunks keep lengths small.
  constexpr std::size_t Chunk = 1 << 20;
  for (std::size_t at = 0; at < compressed.size(); at += Chunk) {
    std::size_t n = compressed.size() - at < Chunk ? compressed.size() - at : Chunk;
    putChunk(out, "IDAT", compressed.data() + at, n);
  }
  putChunk(out, "IEND", nullptr, 0);
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
