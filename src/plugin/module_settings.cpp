#include "plugin/module_settings.h"

#include <cctype>
#include <exception>
#include <filesystem>
#include <fstream>

#include "plugin/animation_config.h"
#include "plugin/message_box.h"
#include "plugin/settings_file.h"

namespace {

struct NamedKey {
  const char* name;
  int key;
};

constexpr NamedKey namedKeys[] = {{"PageUp", 0x21}, {"PageDown", 0x22}, {"End", 0x23}, {"Home", 0x24},
                                  {"Insert", 0x2D}, {"Delete", 0x2E}, {"Pause", 0x13}, {"ScrollLock", 0x91}};

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string keyName(int key) {
  if (key >= 0x70 && key <= 0x87) return "F" + std::to_string(key - 0x70 + 1);
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string(1, static_cast<char>(key));
  for (const NamedKey& k : namedKeys)
    if (k.key == key) return k.name;
  return "key " + std::to_string(key);
}

int keyByName(const std::string& name) {
  for (int key = 1; key < 256; ++key)
    if (upper(keyName(key)) == upper(name)) return key;
  try {
    const std::uint32_t number = parseUnsigned32(name);
    return number >= 1 && number <= 254 ? static_cast<int>(number) : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

ModuleSettings readModuleSettings(const std::string& path) {
  ModuleSettings result;
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in.is_open()) return result;
  const Settings settings = readSettings(in);
  const auto flag = [&](const char* key, bool& value) {
    const auto found = settings.find(key);
    if (found == settings.end()) return;
    try {
      value = parseUnsigned32(found->second.value) != 0;
    } catch (const std::exception& e) {
      messageBox(badSettingLine(key, found->second, e), path);
    }
  };
  flag("watch", result.watch);
  flag("names", result.names);
  const auto key = [&](const char* name, int& value) {
    const auto found = settings.find(name);
    if (found == settings.end()) return;
    if (const int chosen = keyByName(found->second.value)) value = chosen;
    else messageBox(badSettingLine(name, found->second, "not a key: F1 to F24, a letter, a digit, PageUp, PageDown, "
                                                        "Home, End, Insert, Delete, Pause, ScrollLock or a virtual-key number"),
                    path);
  };
  key("pick_key", result.pickKeys.toggle);
  key("pick_next_key", result.pickKeys.next);
  key("pick_previous_key", result.pickKeys.previous);
  key("pick_save_key", result.pickKeys.save);
  return result;
}
