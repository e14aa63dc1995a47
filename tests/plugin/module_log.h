#pragma once
// The module's descent log in the current folder, as the tests driving it in-process read it.
#include <string>

#include "framework/line_log.h"
#include "plugin/temp_folder.h"

// How many times text appears in the log so far.
inline int timesLogged(const std::string& text) {
  const std::string log = TempFolder::read("!KelDescent_" + moduleFileName() + ".log");
  int count = 0;
  for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}
