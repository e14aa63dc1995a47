#pragma once
// The C runtime's descriptor I/O as the decoder uses it: the Windows CRT's own functions, and
// their POSIX twins under the same names elsewhere.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>

#ifndef _O_BINARY
#define _O_BINARY 0x8000
#endif

inline int _open(const char* path, int flags) { return ::open(path, flags); }
inline int _setmode(int, int) { return _O_BINARY; }  // POSIX has no text mode
inline int _read(int fd, void* buffer, unsigned count) {
  return static_cast<int>(::read(fd, buffer, count));
}
inline long _lseek(int fd, long offset, int origin) {
  return static_cast<long>(::lseek(fd, offset, origin));
}
inline int _close(int fd) { return ::close(fd); }
#endif
