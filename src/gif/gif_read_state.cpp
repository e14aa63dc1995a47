#include "gif/gif_read_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "gif/crt_file_io.h"

bool readWholeFile(int fd, std::vector<std::uint8_t>& into) {
  constexpr std::size_t Chunk = 64 * 1024;
  try {
    // The size now is a hint: a file being written may still grow or shrink.
    const long size = _lseek(fd, 0, SEEK_END);
    _lseek(fd, 0, SEEK_SET);
    if (size > 0) into.reserve(static_cast<std::size_t>(size));
    for (;;) {
      const std::size_t have = into.size();
      into.resize(have + Chunk);
      const int got = _read(fd, into.data() + have, static_cast<unsigned>(Chunk));
      into.resize(have + static_cast<std::size_t>(got > 0 ? got : 0));
      if (got <= 0) return true;
    }
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
