// Throughput of our PNG decoder against stb_image on a still 1024 x 1024 picture with soft alpha
// (the kind of frame fire or smoke gives), and of a 1024 x 1024 animation of 30 frames, in
// megapixels a second of this process's processor time, the best of a few rounds.
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "png/apng_decoder.h"
#include "png/png_writer.h"

namespace {

constexpr std::uint32_t Side = 1024, Frames = 30;
volatile unsigned sink;

double cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// Best seconds of one run of `work` over a few rounds.
double best(const std::function<bool()>& work) {
  double fastest = 1e9;
  for (int round = 0; round < 5; ++round) {
    const double start = cpuSeconds();
    if (!work()) {
      std::puts("png_bench: a decoder failed");
      std::exit(1);
    }
    fastest = std::min(fastest, cpuSeconds() - start);
  }
  return fastest;
}

// A flame-like picture: smooth colours, alpha falling off from the middle.
std::vector<std::uint32_t> picture(int phase) {
  std::vector<std::uint32_t> argb(std::size_t{Side} * Side);
  for (std::uint32_t y = 0; y < Side; ++y)
    for (std::uint32_t x = 0; x < Side; ++x) {
      const double dx = (x - 512.0) / 512, dy = (y - 600.0 + 20 * std::sin(phase * 0.4 + x * 0.02)) / 600;
      const double a = std::max(0.0, 1 - std::sqrt(dx * dx + dy * dy));
      const auto c = [](double v) { return std::uint32_t(std::clamp(v, 0.0, 255.0)); };
      argb[std::size_t{y} * Side + x] = c(255 * a) << 24 | c(255 * a * 1.6) << 16 | c(180 * a * a) << 8 | c(40 * a);
    }
  return argb;
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
  putU32(out, std::uint32_t(data.size()));
  const std::size_t at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  putU32(out, VelquorPng::crc32(&out[at], data.size() + 4));
}

// An APNG made of still PNGs from the writer: their IDAT data becomes the frames' data.
std::vector<std::uint8_t> animation() {
  std::vector<std::uint8_t> out;
  std::uint32_t sequence = 0;
  for (std::uint32_t f = 0; f < Frames; ++f) {
    const std::vector<std::uint8_t> still = VelquorPng::encodePng(Side, Side, picture(int(f)).data());
    if (f == 0) {
      out.assign(still.begin(), still.begin() + 33);  // signature and IHDR
      std::vector<std::uint8_t> actl;
      putU32(actl, Frames);
      putU32(actl, 0);
      putChunk(out, "acTL", actl);
    }
    std::vector<std::uint8_t> fctl;
    for (std::uint32_t v : {sequence++, Side, Side, 0u, 0u}) putU32(fctl, v);
    fctl.insert(fctl.end(), {0, 4, 0, 100, 0, 0});  // 4/100 s, dispose none, blend source
    putChunk(out, "fcTL", fctl);
    for (std::size_t at = 33; at + 12 <= still.size();) {
      const std::uint32_t length = std::uint32_t(still[at]) << 24 | still[at + 1] << 16 | still[at + 2] << 8 | still[at + 3];
      const std::vector<std::uint8_t> data(still.begin() + at + 8, still.begin() + at + 8 + length);
      if (std::equal(still.begin() + at + 4, still.begin() + at + 8, "IDAT")) {
        if (f == 0) {
          putChunk(out, "IDAT", data);
        } else {
          std::vector<std::uint8_t> fdat;
          putU32(fdat, sequence++);
          fdat.insert(fdat.end(), data.begin(), data.end());
          putChunk(out, "fdAT", fdat);
        }
      }
      at += 12 + length;
    }
  }
  putChunk(out, "IEND", {});
  return out;
}

bool decodeOurs(const std::vector<std::uint8_t>& file, std::uint32_t frames) {
  ApngDecoder::Failure failure;
  std::string message;
  auto png = ApngDecoder::openMemory(file.data(), file.size(), "bench.png", failure, message);
  if (!png) return std::puts(message.c_str()), false;
  std::uint32_t done = 0;
  while (png->next() == 1) {
    sink = sink + png->pixels()[12345];
    ++done;
  }
  return done == frames;
}

bool decodeStb(const std::vector<std::uint8_t>& file) {
  int w, h, channels;
  stbi_uc* pixels = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &channels, 4);
  if (!pixels) return false;
  sink = sink + pixels[12345];
  stbi_image_free(pixels);
  return true;
}

}  // namespace

int main() {
  const std::vector<std::uint8_t> still = VelquorPng::encodePng(Side, Side, picture(0).data());
  const double megapixels = double(Side) * Side / 1e6;
  const double ours = best([&] { return decodeOurs(still, 1); });
  const double stb = best([&] { return decodeStb(still); });
  std::printf("still %ux%u RGBA (%zu KiB): ours %.0f Mpx/s, stb_image %.0f Mpx/s, ratio ours/stb %.2f (goal: about 1 or more)\n",
              Side, Side, still.size() / 1024, megapixels / ours, megapixels / stb, stb / ours);
  const std::vector<std::uint8_t> apng = animation();
  const double all = best([&] { return decodeOurs(apng, Frames); });
  std::printf("APNG %ux%u x %u frames (%zu KiB): %.0f Mpx/s, %.1f frames/s, %.0f ms for the whole animation\n",
              Side, Side, Frames, apng.size() / 1024, megapixels * Frames / all, Frames / all, all * 1000);
  return 0;
}
