#include "plugin/settings_file.h"

#include <stdexcept>
#include <string_view>

namespace {

// What Notepad writes before the first line of a UTF-8 file.
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// Why a value did not convert, in the player's words.
std::string whatIsWrong(const std::exception& error) {
  if (dynamic_cast<const std::out_of_range*>(&error) != nullptr)
    return "out of range: at most 4294967295";
  return "not a number";
}

}  // namespace

Settings readSettings(std::istream& in) {
  Settings settings;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (number == 1 && line.compare(0, ByteOrderMark.size(), ByteOrderMark) == 0)
      line.erase(0, ByteOrderMark.size());
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == line.size()) continue;
    settings[line.substr(0, eq)] = {line.substr(eq + 1), number};
  }
  return settings;
}

std::string badSettingLine(const std::string& key, const Setting& setting, const std::exception& error) {
  return badSettingLine(key, setting, whatIsWrong(error));
}

std::string badSettingLine(const std::string& key, const Setting& setting, const std::string& wrong) {
  return "line " + std::to_string(setting.line) + ": " + key + "=" + setting.value + ": " + wrong;
}
