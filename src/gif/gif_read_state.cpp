#include "gif/gif_read_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "gif/crt_file_io.h"

bool readWholeFile(int fd, std::vector<std::uint8_t>& into) {
  try {
    // The size now is a hint: a file being written may still grow or shrink. What it says is
    // read into its place at once (growing the buffer as it fills would copy the file again).
    const long size = _lseek(fd, 0, SEEK_END);
    _lseek(fd, 0, SEEK_SET);
    into.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    constexpr std::size_t MostAtOnce = std::size_t{1} << 30;
    std::size_t filled = 0;
    while (filled < into.size()) {
      const int got = _read(fd, into.data() + filled, static_cast<unsigned>(std::min(into.size() - filled, MostAtOnce)));
      if (got <= 0) break;
      filled += static_cast<std::size_t>(got);
    }
    const bool shrank = filled < into.size();
    into.resize(filled);
    if (shrank) return true;
    // What it grew by since.
    std::uint8_t more[16 * 1024];
    for (int got; (got = _read(fd, more, sizeof more)) > 0;) into.insert(into.end(), more, more + got);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool GifReadState::readU16le(std::uint16_t& value) {
  std::uint8_t low, high;
  if (!readByte(low) || !readByte(high)) return false;
  value = static_cast<std::uint16_t>(low | high << 8);
  return true;
}

std::size_t GifReadState::readSome(std::uint8_t* out, std::size_t n) {
  if (pos >= file.size()) return 0;
  const std::size_t count = std::min(n, file.size() - pos);
  std::memcpy(out, file.data() + pos, count);
  pos += count;
  return count;
}

bool GifReadState::skipSubBlocks(std::vector<std::uint8_t>* collect) {
  for (;;) {
    std::uint8_t size;
    if (!readByte(size)) return false;
    if (size == 0) return true;
    if (!collect) {
      skip(size);
      continue;
    }
    std::size_t have = collect->size();
    collect->resize(have + size);
    std::size_t got = readSome(collect->data() + have, size);
    if (got < size) {
      collect->resize(have + got);  // only the bytes the file really had
      return false;
    }
  }
}
