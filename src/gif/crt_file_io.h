#pragma once
// The C runtime's descriptor I/O as the decoder uses it: the Windows CRT's own functions, and
// their POSIX twins under the same names elsewhere.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

// Opens a UTF-8 path for reading, in binary mode. The narrow _open would read the path in the
// system's ANSI code page, where most non-ASCII names are not found: the wide one takes any name.
// Other programs may write, replace and delete the file while it is open (an editor saving over
// a GIF that is being decoded): the C runtime's own open would refuse them the last two.
int openUtf8ForReading(const char* path);
#else
#include <fcntl.h>
#include <unistd.h>

#ifndef _O_BINARY
#define _O_BINARY 0x8000
#endif

inline int _setmode(int, int) { return _O_BINARY; }  // POSIX has no text mode
inline int _read(int fd, void* buffer, unsigned count) {
  return static_cast<int>(::read(fd, buffer, count));
}
inline long _lseek(int fd, long offset, int origin) {
  return static_cast<long>(::lseek(fd, offset, origin));
}
inline int _close(int fd) { return ::close(fd); }
// POSIX names are bytes: a UTF-8 path opens as it is.
inline int openUtf8ForReading(const char* path) { return ::open(path, O_RDONLY); }
#endif
