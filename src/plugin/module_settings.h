#pragma once
// The module-wide settings, read from Velquor.ini in the game's current folder (beside the
// animation folder). Read once, when the module starts.
#include <string>
#include <string_view>

constexpr std::string_view ModuleSettingsFile = "Velquor.ini";

struct ModuleSettings {
  // While the game runs, the animation folder is watched and what changes in it is played.
  bool watch = true;
  // Every texture name the game draws is written to Velquor/names.txt.
  bool names = false;
};

// A missing file keeps the defaults without a message. A value that is not a number is reported
// in a message box captioned with path, in the words of the animations' settings files, and the
// key keeps its default.
ModuleSettings readModuleSettings(const std::string& path = std::string(ModuleSettingsFile));
