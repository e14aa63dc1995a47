// Any bytes as a GIF file: open, read every image, close.
#include <cstddef>
#include <cstdint>

#include "fuzz_input_file.h"
#include "gif/gif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = writeFuzzInput(data, size);
  if (!path) return 0;
  GifDecoder* gif = gifOpen(path);
  if (!gif) return 0;
  unsigned sum = 0;
  while (gifNextFrame(gif) == 1) {
    // Touch what a caller reads after each image.
    sum += gif->palette->count + gif->frameWidth + gif->delay;
    if (gif->width && gif->height) sum += gif->indices[std::size_t{gif->width} * gif->height - 1];
  }
  gifClose(gif);
  return static_cast<int>(sum & 0);
}
