#include "png/apng_writer.h"

#include <string>

#include "png/png_writer.h"

namespace VelquorPng {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t get32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

void chunk(Bytes& out, const char* type, const Bytes& data) {
  put32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::vector<std::uint8_t> encodeApng(std::uint32_t width, std::uint32_t height, const std::vector<ApngFrame>& frames,
                                     std::uint32_t plays) {
  Bytes out;
  std::uint32_t sequence = 0;
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const Bytes still = encodePng(width, height, frames[f].argb.data());
    if (still.size() < 8) return {};
    Bytes header;
    std::vector<Bytes> data;  // the still's IDAT chunks' data
    for (std::size_t at = 8; at + 12 <= still.size();) {
      const std::uint32_t length = get32(&still[at]);
      const std::string type(reinterpret_cast<const char*>(&still[at + 4]), 4);
      Bytes body(still.begin() + static_cast<std::ptrdiff_t>(at + 8),
                 still.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
      at += 12 + length;
      if (type == "IHDR") header = std::move(body);
      if (type == "IDAT") data.push_back(std::move(body));
    }
    if (f == 0) {
      out.assign(still.begin(), still.begin() + 8);
      chunk(out, "IHDR", header);
      Bytes animation;
      put32(animation, static_cast<std::uint32_t>(frames.size()));
      put32(animation, plays);
      chunk(out, "acTL", animation);
    }
    Bytes control;
    put32(control, sequence++);
    put32(control, width);
    put32(control, height);
    put32(control, 0);
    put32(control, 0);
    const std::uint16_t delay = frames[f].delayMs;
    control.insert(control.end(), {std::uint8_t(delay >> 8), std::uint8_t(delay), 0x03, 0xE8, 0, 0});
    chunk(out, "fcTL", control);
    for (Bytes& piece : data) {
      if (f == 0) {
        chunk(out, "IDAT", piece);
        continue;
      }
      Bytes numbered;
      put32(numbered, sequence++);
      numbered.insert(numbered.end(), piece.begin(), piece.end());
      chunk(out, "fdAT", numbered);
    }
  }
  chunk(out, "IEND", {});
  return out;
}

}  // namespace VelquorPng
