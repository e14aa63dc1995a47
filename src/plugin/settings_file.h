#pragma once
// The reader shared by every settings file of the module (each animation's <name>.cfg and the
// module's Velquor.ini): one key=value a line, and the words a bad value is reported in.
#include <exception>
#include <istream>
#include <string>
#include <unordered_map>

struct Setting {
  std::string value;
  int line = 0;  // counted from 1
};
using Settings = std::unordered_map<std::string, Setting>;

// One line per setting; a CR before the LF belongs to the line end, as in Windows text mode. Lines
// without '=', or with nothing before or after it, are skipped; a later key replaces an earlier.
Settings readSettings(std::istream& in);

// "line <n>: <key>=<value>: <what is wrong>", for a value that did not convert.
std::string badSettingLine(const std::string& key, const Setting& setting, const std::exception& error);
// The same line with what is wrong in words of the caller's.
std::string badSettingLine(const std::string& key, const Setting& setting, const std::string& whatIsWrong);
