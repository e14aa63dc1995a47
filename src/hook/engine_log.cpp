#include "hook/engine_log.h"

#include <cstdio>

#include "framework/line_log.h"

namespace KelHook {
namespace {

LineLog& engineLog() {
  static LineLog log(logFileName());
  return log;
}

}  // namespace

std::string logFileName() { return "!KelHook_" + moduleFileName() + ".log"; }

void writeLogV(bool enabled, const char* format, va_list args) {
  // Every line is flushed as it is written, so a null format has nothing left to flush.
  if (!enabled || !format) return;
  engineLog().writeV(format, args);
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
  char message[LineLog::MessageCapacity];
  std::vsnprintf(message, sizeof(message), format, args);
  if (module.empty()) {
    writeLog(true, "{0x%X, %d}: %s", address, size, message);
  } else {
    const std::string name(module);
    writeLog(true, "{0x%X, %d, %s}: %s", address, size, name.c_str(), message);
  }
}

}  // namespace KelHook
