// Any bytes as a PNG file, read from memory: open, compose every frame.
#include <cstddef>
#include <cstdint>

#include "png/apng_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ApngDecoder::Failure failure;
  std::string message;
  auto png = ApngDecoder::openMemory(data, size, "fuzz.png", failure, message);
  if (!png) return 0;
  unsigned sum = 0;
  while (png->next() == 1) {
    // Touch what a caller reads after each frame: its delay and the canvas's last pixel.
    sum += static_cast<unsigned>(png->frame().delayMs());
    sum += png->pixels()[std::size_t{png->width()} * png->height() - 1];
  }
  return static_cast<int>(sum & 0);
}
