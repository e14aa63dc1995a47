#include "png/png_input.h"

#include <algorithm>
#include <cstring>

#include "gif/crt_file_io.h"

std::size_t PngMemoryInput::read(std::uint8_t* out, std::size_t n) {
  const std::size_t count = std::min(n, size_ - at_);
  if (count) std::memcpy(out, data_ + at_, count);
  at_ += count;
  return count;
}

PngFileInput::PngFileInput(const char* utf8Path) : fd_(openUtf8ForReading(utf8Path)) {
  if (fd_ >= 0) _setmode(fd_, _O_BINARY);
}

PngFileInput::~PngFileInput() {
  if (fd_ >= 0) _close(fd_);
}

std::size_t PngFileInput::read(std::uint8_t* out, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    // The CRT reads at most INT_MAX bytes a call; a chunk piece is far smaller.
    const unsigned ask = static_cast<unsigned>(std::min<std::size_t>(n - done, 1u << 30));
    const int got = _read(fd_, out + done, ask);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}
