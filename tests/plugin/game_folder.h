#pragma once
// Puts the running game into a fresh current folder with a "Velquor" folder of animations, as a
// player's game folder would be. The module reads "Velquor" relative to the current folder when
// it makes its catalogue, so this is done before the first frame.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "plugin/temp_folder.h"
#include "plugin/test_gifs.h"

class GameFolder {
 public:
  GameFolder() { SetCurrentDirectoryW(root_.path().wstring().c_str()); }

  std::string gif(const std::string& name, const GifBytes& bytes = TestGifs::threeColours()) {
    return root_.write("Velquor/" + name, std::string(bytes.begin(), bytes.end()));
  }
  std::string file(const std::string& name, const std::string& bytes) {
    return root_.write("Velquor/" + name, bytes);
  }
  // Texture names of the folder's GIFs in the order the folder lists them.
  std::vector<std::string> listed() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root_.path() / "Velquor"))
      if (entry.path().extension() == ".gif") names.push_back(entry.path().stem().u8string());
    return names;
  }
  // Velquor.ini, the module's own settings, beside the animation folder.
  std::string moduleSettings(const std::string& bytes) { return root_.write("Velquor.ini", bytes); }
  std::string path(const std::string& name) const { return root_.file("Velquor/" + name); }
  // The module's log in the game folder ("" while it has written none).
  std::string log() const { return TempFolder::read(root_.file("!KelDescent_Velquor.asi.log")); }

 private:
  TempFolder root_;
};
