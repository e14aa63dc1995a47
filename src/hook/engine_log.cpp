#include "hook/engine_log.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <mutex>

namespace KelHook {
namespace {

constexpr unsigned lineCapacity = 4096;

std::mutex& logMutex() {
  static std::mutex mutex;
  return mutex;
}

std::ofstream& logStream() {
  static std::ofstream stream;
  return stream;
}

HMODULE ownModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ownModule), &module);
  return module;
}

}  // namespace

std::string logFileName() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(ownModule(), path, MAX_PATH);
  std::string full(path, length < MAX_PATH ? length : MAX_PATH);
  std::size_t slash = full.find_last_of('\\');
  if (slash == std::string::npos) slash = full.find_last_of('/');
  std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
  return "!KelHook_" + name + ".log";
}

void writeLogV(bool enabled, const char* format, va_list args) {
  if (!enabled) return;
  std::lock_guard<std::mutex> lock(logMutex());
  std::ofstream& stream = logStream();
  if (!stream.is_open()) {
    stream.clear();
    stream.open(logFileName(), std::ios::out | std::ios::trunc);
    if (!stream.is_open()) return;  // lost; the next line tries again
  }
  if (!format) {
    stream.flush();
    return;
  }
  static char line[lineCapacity];
  // Bounded: an over-long message is cut, never written past the buffer.
  std::vsnprintf(line, sizeof(line), format, args);
  stream << line << std::endl;
}

void writeLog(bool enabled, const char* format, ...) {
  if (!enabled) return;
  va_list args;
  va_start(args, format);
  writeLogV(true, format, args);
  va_end(args);
}

void writeHookLog(unsigned address, int size, std::string_view module, const char* format,
                  va_list args) {
  if (!format) return;
  char message[lineCapacity];
  std::vsnprintf(message, sizeof(message), format, args);
  if (module.empty()) {
    writeLog(true, "{0x%X, %d}: %s", address, size, message);
  } else {
    const std::string name(module);
    writeLog(true, "{0x%X, %d, %s}: %s", address, size, name.c_str(), message);
  }
}

}  // namespace KelHook
