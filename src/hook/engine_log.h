#pragma once
// The hook engine's log: "!KelHook_<module file name>.log" in the current directory, created
// by its first line, one flushed line per message.
#include <cstdarg>
#include <string>
#include <string_view>

namespace KelHook {

// Formats (bounded to 4095 characters) and writes one line when `enabled`; returns at once
// otherwise. Lines are flushed as they are written.
void writeLog(bool enabled, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void writeLogV(bool enabled, const char* format, va_list args);

// A hook's line: "{0x%X, %d}: message" or, with a module, "{0x%X, %d, module}: message".
void writeHookLog(unsigned address, int size, std::string_view module, const char* format,
                  va_list args);

// "!KelHook_" + the file name of the module holding this code + ".log".
std::string logFileName();

}  // namespace KelHook
