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
  if (const auto watch = settings.find("watch"); watch != settings.end()) {
    try {
      result.watch = parseUnsigned32(watch->second.value) != 0;
    } catch (const std::exception& e) {
      messageBox(badSettingLine("watch", watch->second, e), path);
    }
  }
  return result;
}
