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

void logProblem(const std::string& text) noexcept {
  try {
    descentLog().write("%s", text.c_str());
  } catch (...) {
  }
}
