#include "plugin/device_names.h"

#include <array>
#include <string>

namespace {

std::string asciiLowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// The digits Windows accepts after "com" and "lpt": 0 to 9 and the Latin-1 superscripts.
bool isPortNumber(std::string_view text) {
  if (text.size() == 1) return text[0] >= '0' && text[0] <= '9';
  return text == "\xC2\xB9" || text == "\xC2\xB2" || text == "\xC2\xB3";
}

}  // namespace

bool isDeviceName(std::string_view fileName) {
  // What Windows compares: the name up to its first dot or colon, without trailing spaces.
  std::string_view stem = fileName.substr(0, fileName.find_first_of(".:"));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string name = asciiLowerCase(stem);

  static constexpr std::array<std::string_view, 6> devices = {"con", "prn", "aux", "nul",
                                                              "conin$", "conout$"};
  for (std::string_view device : devices)
    if (name == device) return true;
  const std::string_view prefix = std::string_view(name).substr(0, 3);
  return (prefix == "com" || prefix == "lpt") && isPortNumber(std::string_view(name).substr(3));
}
