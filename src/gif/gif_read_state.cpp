#include "gif/gif_read_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gif/crt_file_io.h"

bool GifReadState::fill() {
  long at = offset();
  if (descriptorAt != at) {
    if (_lseek(fd, at, SEEK_SET) != at) return false;
    descriptorAt = at;
  }
  int got = _read(fd, buffer, static_cast<unsigned>(BufferSize));
  bufferOffset = at;
  pos = 0;
  end = got > 0 ? static_cast<std::size_t>(got) : 0;
  descriptorAt += static_cast<long>(end);
  return end > 0;
}

bool GifReadState::readU16le(std::uint16_t& value) {
  std::uint8_t low, high;
  if (!readByte(low) || !readByte(high)) return false;
  value = static_cast<std::uint16_t>(low | high << 8);
  return true;
}

std::size_t GifReadState::readSome(std::uint8_t* out, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    if (pos == end && !fill()) break;
    std::size_t chunk = std::min(n - done, end - pos);
    std::memcpy(out + done, buffer + pos, chunk);
    pos += chunk;
    done += chunk;
  }
  return done;
}

void GifReadState::skip(std::size_t n) {
  if (n <= end - pos) {
    pos += n;
    return;
  }
  bufferOffset = offset() + static_cast<long>(n);
  pos = end = 0;
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

void GifReadState::syncDescriptor() {
  long at = offset();
  if (descriptorAt != at && _lseek(fd, at, SEEK_SET) == at) descriptorAt = at;
}
