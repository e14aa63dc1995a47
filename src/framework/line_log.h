#pragma once
// A log file of printf-formatted lines, created by its first line and flushed after each one.
// The file is opened lazily and the open is retried at every line until it succeeds; lines
// written while it cannot be opened are dropped.
#include <cstdarg>
#include <cstddef>
#include <fstream>
#include <mutex>
#include <string>

class LineLog {
 public:
  static constexpr std::size_t MessageCapacity = 4096;  // including the terminating zero

  explicit LineLog(std::string fileName);
  LineLog(const LineLog&) = delete;
  LineLog& operator=(const LineLog&) = delete;

  void write(const char* format, ...)
#ifdef __GNUC__
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void writeV(const char* format, std::va_list args);

  bool isOpen() const { return stream.is_open(); }
  const std::string& path() const { return fileName; }

 private:
  std::string fileName;
  std::ofstream stream;
  std::mutex mutex;
  char buffer[MessageCapacity];
};

// The file name of the module holding this code (for example "Velquor.asi"), without its folder.
std::string moduleFileName();

// Cuts a full path after its last '\' (or, when there is none, its last '/').
std::string fileNameOfPath(const std::string& path);
