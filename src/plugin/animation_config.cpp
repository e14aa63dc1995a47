#include "plugin/animation_config.h"

#include <cctype>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unordered_map>

#include "plugin/message_box.h"

namespace {

using Settings = std::unordered_map<std::string, std::string>;

// One line per setting; a CR before the LF belongs to the line end, as in Windows text mode.
Settings readSettings(std::istream& in) {
  Settings settings;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == line.size()) continue;
    settings[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return settings;
}

// A key the file did not give converts like an empty value: it fails.
const std::string& valueOf(const Settings& settings, const std::string& key) {
  static const std::string missing;
  const auto it = settings.find(key);
  return it == settings.end() ? missing : it->second;
}

}  // namespace

std::uint32_t parseUnsigned32(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
    throw std::invalid_argument("stoul");
  std::uint64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
    if (value > 0xFFFFFFFFull) throw std::out_of_range("stoul");
  }
  const auto magnitude = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - magnitude) : magnitude;
}

AnimationConfig::AnimationConfig(std::string_view path) : path(path) { load(); }

void AnimationConfig::load() {
  // Names are UTF-8 (they come from the folder listing); the file system is asked in its own terms.
  const auto file = std::filesystem::u8path(path);
  std::error_code ignored;
  if (!std::filesystem::exists(file, ignored)) return;

  Settings settings;
  {
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) {
      messageBox("Can't open config", path);
      return;
    }
    settings = readSettings(in);
  }

  // Without a readable background the override stays off, whatever the file says about it.
  try {
    background = parseUnsigned32(valueOf(settings, "background")) != 0;
    override = parseUnsigned32(valueOf(settings, "override")) != 0;
  } catch (const std::exception& e) {
    messageBox(e.what(), path);
  }
  if (!overrides()) return;

  // Every entry is converted, so a bad value under any key is reported.
  for (const auto& [key, value] : settings) {
    std::uint32_t number = 0;
    try {
      number = parseUnsigned32(value);
    } catch (const std::exception& e) {
      messageBox(e.what(), path);
      continue;
    }
    if (key == "number_color_palette")
      number_color_palette = number;
    else if (key == "alpha")
      alpha = static_cast<std::uint8_t>(number & 0xFF);
  }
}
