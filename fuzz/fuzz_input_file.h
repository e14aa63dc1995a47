#pragma once
// The decoder reads files, not memory: each input goes to a file of this process's own.
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

// The file goes away when the fuzzer exits.
struct FuzzInputFile {
  std::string path = "/tmp/velquor-fuzz-" + std::to_string(getpid()) + ".gif";
  ~FuzzInputFile() { std::remove(path.c_str()); }
};

inline const char* writeFuzzInput(const std::uint8_t* data, std::size_t size) {
  static const FuzzInputFile input;
  const std::string& path = input.path;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return nullptr;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  return path.c_str();
}
