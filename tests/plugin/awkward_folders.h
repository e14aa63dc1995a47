#pragma once
// Folders a player may well make, for the module's end-to-end cases and the checker's, written
// into anything that has gif(name, bytes) and file(name, text) for files of its Velquor folder.
#include <string>
#include <vector>

#include "plugin/test_gifs.h"

namespace TestGifs {

// An old GIF87a file, which the module does not read.
inline GifBytes gif87a() {
  GifScreen old{8, 8, palette()};
  old.version = "87a";
  return GifWriter(old).image(solid(8, 8, 1)).trailer().bytes();
}

}  // namespace TestGifs

struct AwkwardNames {
  std::vector<std::string> devices;  // texture names of files Windows opens as devices
  std::vector<std::string> playing;  // texture names that play
  std::vector<std::string> alphaOn;  // of those, the ones whose settings turn the alpha flag on
  std::string tooLong;               // one letter more than a game texture name can have
  std::string corrupt;               // a non-ASCII name whose GIF is corrupt: its box names it
};

// Names Windows opens as devices (one with settings), non-ASCII ones (one with settings, one
// corrupt), the longest a game texture can have and one letter more, and settings written by
// Notepad (with a byte-order mark).
template <typename Folder>
AwkwardNames writeAwkwardNames(Folder& folder) {
  AwkwardNames names;
  names.devices = {"aux", "COM1", "con", "nul", "prn", "lpt1", "conin$", "aux.x"};
  for (const auto& device : names.devices) folder.gif(device + ".gif", TestGifs::threeColours());
  folder.file("aux.cfg", "background=1\n");
  const std::string french = "flamm\xC3\xA9", russian = "\xD0\xBE\xD0\xB3\xD0\xBE\xD0\xBD\xD1\x8C";
  folder.gif(french + ".gif", TestGifs::threeColours());
  folder.file(french + ".cfg", "background=0\noverride=1\nalpha=1\n");
  folder.gif("bom.gif", TestGifs::threeColours());
  folder.file("bom.cfg", "\xEF\xBB\xBF" "background=0\r\noverride=1\r\nalpha=1\r\n");
  folder.gif(russian + ".gif", TestGifs::threeColours());
  const std::string longest(31, 'n');
  folder.gif(longest + ".gif", TestGifs::threeColours());
  names.tooLong = std::string(32, 'm');
  folder.gif(names.tooLong + ".gif", TestGifs::threeColours());
  names.corrupt = "\xE7\x81\xAB";
  folder.gif(names.corrupt + ".gif", TestGifs::corrupt());
  names.playing = {french, "bom", russian, longest};
  names.alphaOn = {french, "bom"};
  return names;
}

// Eight GIF87a files and a settings file with forty bad lines: nine problems at start.
template <typename Folder>
void writeManyProblems(Folder& folder) {
  for (int i = 0; i < 8; ++i) folder.gif("old" + std::to_string(i) + ".gif", TestGifs::gif87a());
  folder.gif("noisy.gif", TestGifs::threeColours());
  std::string lines = "background=0\noverride=1\n";
  for (int i = 0; i < 40; ++i) lines += "note" + std::to_string(i) + "=x\n";
  folder.file("noisy.cfg", lines);
}
