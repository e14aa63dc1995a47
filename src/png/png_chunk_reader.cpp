#include "png/png_chunk_reader.h"

#include <zlib.h>

#include <cstring>

#include "png/png_input.h"
#include "png/png_limits.h"

namespace {

constexpr std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t crcOf(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  // zlib's crc32 takes an unsigned count: pieces are far below its range.
  return static_cast<std::uint32_t>(::crc32(crc, data, static_cast<uInt>(size)));
}

}  // namespace

std::uint32_t pngU32(const std::uint8_t* b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

std::string pngChunkName(const PngChunkHeader& header) {
  return "the " + std::string(header.type) + " chunk at byte " + std::to_string(header.offset);
}

bool PngChunkHeader::is(const char* name) const { return std::memcmp(type, name, 4) == 0; }

bool PngChunkReader::readExactly(std::uint8_t* out, std::size_t n) {
  const std::size_t got = input_.read(out, n);
  offset_ += got;
  return got == n;
}

bool PngChunkReader::readSignature(std::string& why) {
  std::uint8_t bytes[8];
  if (!readExactly(bytes, 8) || std::memcmp(bytes, Signature, 8) != 0) {
    why = "it does not start with PNG's signature";
    return false;
  }
  return true;
}

bool PngChunkReader::readHeader(PngChunkHeader& header, std::string& why) {
  header.offset = offset_;
  std::uint8_t bytes[8];
  if (!readExactly(bytes, 8)) {
    why = "the file ends at byte " + std::to_string(offset_) + ", before its IEND chunk";
    return false;
  }
  header.length = pngU32(bytes);
  std::memcpy(header.type, bytes + 4, 4);
  for (int i = 0; i < 4; ++i) {
    const char c = header.type[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
      why = "the chunk at byte " + std::to_string(header.offset) + " has no chunk type (the file is damaged)";
      return false;
    }
  }
  if (header.length > PngLimits::MaxNumber) {
    why = pngChunkName(header) + " gives a length of " + std::to_string(header.length) +
          ", above PNG's largest (2147483647)";
    return false;
  }
  return true;
}

bool PngChunkReader::checkCrc(const PngChunkHeader& header, std::uint32_t crc, std::string& why) {
  std::uint8_t stored[4];
  if (!readExactly(stored, 4)) {
    why = "the file ends inside " + pngChunkName(header);
    return false;
  }
  if (pngU32(stored) != crc) {
    why = pngChunkName(header) + " fails its CRC check (the file is damaged)";
    return false;
  }
  return true;
}

bool PngChunkReader::readData(const PngChunkHeader& header, std::vector<std::uint8_t>& out, std::string& why,
                              std::size_t skip, std::uint8_t* skipped) {
  std::uint32_t crc = crcOf(crcOf(0, nullptr, 0), reinterpret_cast<const std::uint8_t*>(header.type), 4);
  std::uint8_t head[4];
  if (skip > header.length || skip > sizeof head) {
    why = pngChunkName(header) + " is too short";
    return false;
  }
  if (!readExactly(head, skip)) {
    why = "the file ends inside " + pngChunkName(header);
    return false;
  }
  crc = crcOf(crc, head, skip);
  if (skipped) std::memcpy(skipped, head, skip);
  const std::size_t at = out.size(), size = header.length - skip;
  out.resize(at + size);
  if (!readExactly(out.data() + at, size)) {
    why = "the file ends inside " + pngChunkName(header);
    return false;
  }
  crc = crcOf(crc, out.data() + at, size);
  return checkCrc(header, crc, why);
}

bool PngChunkReader::skipData(const PngChunkHeader& header, std::string& why) {
  std::uint32_t crc = crcOf(crcOf(0, nullptr, 0), reinterpret_cast<const std::uint8_t*>(header.type), 4);
  std::uint8_t piece[PngLimits::SkipPieceBytes];
  for (std::uint32_t left = header.length; left > 0;) {
    const std::uint32_t n = left < sizeof piece ? left : static_cast<std::uint32_t>(sizeof piece);
    if (!readExactly(piece, n)) {
      why = "the file ends inside " + pngChunkName(header);
      return false;
    }
    crc = crcOf(crc, piece, n);
    left -= n;
  }
  return checkCrc(header, crc, why);
}
