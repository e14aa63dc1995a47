#pragma once
// Runs the stand-in game with Velquor.asi in a game folder of its own and reads back its trace:
// the message boxes it showed and what each texture was drawn with in the last frame.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct TracedBox {
  std::string caption;
  std::string text;
};

struct TracedDraw {
  bool swapped = false;
  std::string d3dTexture;  // "0x0" for none
  bool alpha = false;
  long paletteIndex = -1;
};

struct GameRun {
  int exitCode = -1;
  std::vector<TracedBox> boxes;            // in the order they were shown
  std::map<std::string, TracedDraw> last;  // texture name -> its draw in the last frame
};

// The value of "key" in one JSON line of the trace ("" when absent); strings unescaped.
std::string traceField(const std::string& line, const std::string& key);

// Runs `frames` frames of the stand-in in gameFolder with the module loaded, drawing the named
// textures (16 x 16, each at the next of the game's five texture sites), and reads the trace.
// options: more scenario lines, e.g. "d3d 5".
GameRun runGame(const std::filesystem::path& gameFolder, const std::vector<std::string>& scene,
                int frames, const std::string& options = "");
