// Any bytes as an animation: load every frame, make the pixels a texture would get, play it.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "fuzz_input_file.h"
#include "gif/frame_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Every frame copies the whole screen: large screens only make runs slow, and have tests.
  if (size >= 10 && std::uint32_t(data[6] | data[7] << 8) * std::uint32_t(data[8] | data[9] << 8) > (1u << 20))
    return 0;
  const char* path = writeFuzzInput(data, size);
  if (!path) return 0;
  std::unique_ptr<FrameList> list;
  try {
    list = FrameList::load(path);
  } catch (const std::exception&) {
    return 0;
  }
  std::vector<std::uint32_t> pixels;
  for (const auto& frame : list->frames) {
    pixels.resize(std::size_t{frame->width} * frame->height + 1);
    frame->writePixels(pixels.data(), frame->width * 4, size & 1);
  }
  for (int i = 0; i < 4; ++i) list->currentTexture();
  return 0;
}
