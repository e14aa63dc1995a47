#include "plugin/module_settings.h"

#include <exception>
#include <filesystem>
#include <fstream>

#include "plugin/animation_config.h"
#include "plugin/message_box.h"
#include "plugin/settings_file.h"

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
  return result;
}
