#include "plugin/animation_config.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

#include "plugin/device_names.h"
#include "plugin/message_box.h"
#include "plugin/settings_file.h"

namespace {

// Converts the value of a key that must be there; a problem is described in problems.
std::optional<std::uint32_t> required(const Settings& settings, const std::string& key,
                                      std::vector<std::string>& problems) {
  const auto it = settings.find(key);
  if (it == settings.end()) {
    problems.push_back(key + " is missing: write " + key + "=0 or " + key + "=1");
    return std::nullopt;
  }
  try {
    return parseUnsigned32(it->second.value);
  } catch (const std::exception& e) {
    problems.push_back(badSettingLine(key, it->second, e));
    return std::nullopt;
  }
}

// Keys that turn something on of their own, whatever the other lines say.
constexpr const char* SwitchKeys[] = {"disposal", "loop"};

bool isSwitchKey(const std::string& key) {
  return std::find(std::begin(SwitchKeys), std::end(SwitchKeys), key) != std::end(SwitchKeys);
}

// A switch that may be absent: 0 off, any other number on. A value that does not convert is
// described in problems, when given.
std::optional<bool> optionalSwitch(const Settings& settings, const std::string& key,
                                   std::vector<std::string>* problems) {
  const auto it = settings.find(key);
  if (it == settings.end()) return std::nullopt;
  try {
    return parseUnsigned32(it->second.value) != 0;
  } catch (const std::exception& e) {
    if (problems) problems->push_back(badSettingLine(key, it->second, e));
    return std::nullopt;
  }
}

std::string fileNameOf(std::string_view path) {
  const auto slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string lines(const std::vector<std::string>& problems) {
  std::string text;
  for (const auto& problem : problems) text += (text.empty() ? "" : "\n") + problem;
  return text;
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
  if (isDeviceName(fileNameOf(path))) return;  // a device, not a settings file
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

  // Every problem of the file goes into one message box, in the order of the lines.
  std::vector<std::string> problems;
  // A file that only turns switches on keeps the defaults of the rest without asking for them.
  const bool switchesOnly =
      !settings.empty() && std::all_of(settings.begin(), settings.end(),
                                       [](const auto& entry) { return isSwitchKey(entry.first); });
  // Without a readable background the override stays off, whatever the file says about it.
  if (switchesOnly) {
    // background and override stay unset: the defaults.
  } else if (const auto value = required(settings, "background", problems)) {
    background = *value != 0;
    if (const auto value = required(settings, "override", problems)) override = *value != 0;
  } else if (settings.count("override") != 0) {
    problems.back() += "; without it, override is not read";
  }

  if (overrides()) {
    // Every entry is converted, so a bad value under any key is reported.
    std::vector<std::pair<const std::string*, const Setting*>> byLine;
    for (const auto& [key, setting] : settings) byLine.emplace_back(&key, &setting);
    std::sort(byLine.begin(), byLine.end(),
              [](const auto& a, const auto& b) { return a.second->line < b.second->line; });
    for (const auto& [key, setting] : byLine) {
      std::uint32_t number = 0;
      try {
        number = parseUnsigned32(setting->value);
      } catch (const std::exception& e) {
        const bool known = *key == "number_color_palette" || *key == "alpha" || isSwitchKey(*key);
        problems.push_back(badSettingLine(*key, *setting, e) +
                           (known ? "" : " (with override=1 every line needs a number)"));
        continue;
      }
      if (*key == "number_color_palette")
        number_color_palette = number;
      else if (*key == "alpha")
        alpha = static_cast<std::uint8_t>(number & 0xFF);
    }
  }
  // With override=1 a bad value of theirs was reported above, in the order of the lines.
  std::vector<std::string>* switchProblems = overrides() ? nullptr : &problems;
  disposal = optionalSwitch(settings, "disposal", switchProblems);
  loop = optionalSwitch(settings, "loop", switchProblems);
  if (!problems.empty()) messageBox(lines(problems), path);
}
