#include "plugin/fault_report.h"

#include "framework/kel_descent.h"
#include "framework/line_log.h"

void logFault(const char* where, const std::exception& error) {
  try {
    descentLog().write("%s: %s", where, error.what());
  } catch (...) {
    // The log itself failed; there is nowhere left to tell.
  }
}

void logUnknownFault(const char* where) {
  try {
    descentLog().write("%s: unknown exception", where);
  } catch (...) {
  }
}

void logMessage(const std::string& caption, const std::string& text) {
  try {
    for (std::size_t start = 0; start <= text.size();) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      descentLog().write("%s: %s", caption.c_str(), text.substr(start, end - start).c_str());
      start = end + 1;
    }
  } catch (...) {
  }
}

std::string logFileName() { return descentLog().path(); }

void logProblem(const std::string& text) noexcept {
  try {
    descentLog().write("%s", text.c_str());
  } catch (...) {
  }
}
