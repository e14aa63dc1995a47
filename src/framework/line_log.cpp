#include "framework/line_log.h"

#include <cstdio>

LineLog::LineLog(std::string fileName) : fileName(std::move(fileName)) {}

void LineLog::write(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  writeV(format, args);
  va_end(args);
}

void LineLog::writeV(const char* format, std::va_list args) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!stream.is_open()) {
    stream.clear();
    stream.open(fileName, std::ios::out | std::ios::trunc);
    if (!stream.is_open()) return;
  }
  // Bounded: a message longer than the buffer is cut, never written past it.
  std::vsnprintf(buffer, sizeof buffer, format, args);
  stream << buffer << std::endl;
}

std::string fileNameOfPath(const std::string& path) {
  std::size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos) cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}
