#pragma once
// The module-wide settings, read from Velquor.ini in the game's current folder (beside the
// animation folder). Read once, when the module starts.
#include <string>
#include <string_view>

constexpr std::string_view ModuleSettingsFile = "Velquor.ini";

// Pick mode's keys, as Windows' virtual-key codes; none of them is a key the game uses.
struct PickKeys {
  int toggle = 0x78;    // F9: pick mode on and off
  int next = 0x22;      // Page Down: the next texture drawn in the last frame
  int previous = 0x21;  // Page Up: the one before
  int save = 0x7A;      // F11: save the picked texture's picture
};

// "F9", "PageDown", "A", "7"; or "key <code>" for a key without a name here.
std::string keyName(int virtualKey);
// The key of a name keyName gives (any letter case) or of a virtual-key number; 0 for none.
int keyByName(const std::string& name);

struct ModuleSettings {
  // While the game runs, the animation folder is watched and what changes in it is played.
  bool watch = true;
  // Every texture name the game draws is written to Velquor/names.txt.
  bool names = false;
  // pick_key, pick_next_key, pick_previous_key, pick_save_key.
  PickKeys pickKeys;
};

// A missing file keeps the defaults without a message. A value that is not a number is reported
// in a message box captioned with path, in the words of the animations' settings files, and the
// key keeps its default.
ModuleSettings readModuleSettings(const std::string& path = std::string(ModuleSettingsFile));
