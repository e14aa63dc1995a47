#pragma once
// A scripted run of the stand-in: what the command line and scenario files ask for.
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/standin_types.h"

namespace Standin {

struct ScriptedMessage {
  int frame = 0;
  unsigned message = 0;
  std::uint32_t wParam = 0;
  std::int32_t lParam = 0;
  bool post = false;
};

struct ScriptedKey {
  int frame = 0;
  int virtualKey = 0;
  bool down = true;
  bool up = false;       // "press" sends both
  bool extended = false;
  bool alt = false;
};

struct CaptureRequest {
  int frame = 0;
  std::string file;
};

// A texture dictionary loaded or unloaded at the start of a frame.
struct ScriptedStreaming {
  int frame = 0;
  std::string dictionary;
  bool load = true;
};

constexpr int Never = -1;

struct Scenario {
  int frames = 3;
  int frameTimeMs = 0;   // each frame lasts at least this long (animations need time to pass)
  int direct3DPass = 0;  // Direct3D appears before this main-loop pass; Never for never
  int width = 640;
  int height = 480;
  std::vector<TextureSpec> textures = defaultScene();
  bool sceneGiven = false;
  int extensionOffset = 56;
  bool drawing = true;   // false: the scene routine calls the sites but draws nothing
  std::vector<int> resets;
  std::map<std::string, std::vector<TextureSpec>> dictionaries;  // by name, textures in order
  std::vector<ScriptedStreaming> streaming;
  std::vector<ScriptedMessage> messages;
  std::vector<ScriptedKey> keys;
  std::vector<CaptureRequest> captures;
  std::string traceFile;
  std::vector<std::string> modules;
  bool noModules = false;
  std::string driver;
  std::vector<std::string> driverArgs;

  static std::vector<TextureSpec> defaultScene();
};

struct ScenarioError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One directive ("texture fire 64 64 ffff0000 0x728320"); `scenario FILE` reads FILE's lines.
void applyDirective(Scenario& scenario, const std::string& line);
// Every line of a scenario text; errors name the line.
void applyScenarioText(Scenario& scenario, const std::string& text);
// Command line: `--name value` is the directive `name value` (commas in the value are spaces);
// everything after `--` goes to the driver.
Scenario parseCommandLine(const std::vector<std::string>& args);

// The five sites a texture may pass through.
bool isTextureSite(std::uint32_t address);

}  // namespace Standin
