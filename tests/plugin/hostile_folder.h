#pragma once
// A "Velquor" folder as players fill them: every hostile case the module has to survive at once
// (huge screens, zero delays, no images, GIF87a, truncated and corrupt files, names of devices,
// non-ASCII and over-long names, settings files with a byte-order mark, bad lines, empty values
// and CR LF), a few hundred random files with random names, and some good animations whose
// pixels can be checked. The same seed makes the same folder, byte for byte.
#include <cstdint>
#include <string>
#include <vector>

// What a texture must show while its file is in the folder.
enum class Expect {
  Plays,     // the animation: a texture of the module's, never the game's own
  StaysOwn,  // the game's own texture, every frame (the file can never play)
  Either,    // one of the two; never a blank
};

struct FolderFile {
  std::string name;   // UTF-8, directly in the folder
  std::string bytes;
};

struct SceneName {
  std::string texture;  // at most 31 bytes, as a game texture name
  Expect expect = Expect::Either;
};

// A good animation drawn every frame in a visible cell; its frames are solid red, green or blue
// (background black), so a captured pixel tells which of them it is.
struct ShownAnimation {
  std::string texture;
  int frames = 0;
  bool zeroDelays = false;        // every delay 0: a new frame at every draw
  bool blackCentre = false;       // the background colour fills the middle; settings keep it
  bool ownAlpha = false;          // the game raster's alpha flag and palette record
  bool ownPalette = false;
  int alphaFlag = -1;             // what the settings make of the raster (-1: not asked)
  long paletteIndex = -1;
};

struct HostileFolder {
  std::vector<FolderFile> files;
  std::vector<ShownAnimation> shown;
  std::vector<SceneName> hostile;   // the listed cases and good animations drawn off screen
  std::vector<SceneName> random;    // the random files that a texture name can reach
};

// maxTextureWidth: what the device can make; a wider screen cannot play.
HostileFolder makeHostileFolder(std::uint64_t seed, int randomFiles, std::uint32_t maxTextureWidth);

// Adds `count` random files (random bytes, mutations of good GIFs, some settings files) with
// random names, none equal to a name already there whatever the letter case.
void addRandomFiles(HostileFolder& folder, std::uint64_t seed, int count);
