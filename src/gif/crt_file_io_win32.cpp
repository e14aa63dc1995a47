#include <windows.h>

#include <exception>
#include <filesystem>

#include "gif/crt_file_io.h"

int openUtf8ForReading(const char* path) {
  std::filesystem::path name;
  try {
    name = std::filesystem::u8path(path);
  } catch (const std::exception&) {
    return -1;  // not UTF-8: no file has that name
  }
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (fd < 0) CloseHandle(file);
  return fd;
}
