#include "game/scenario.h"

#include "game/texture_pictures.h"
#include "plugin/texture_format_names.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace Standin {

namespace {

constexpr std::uint32_t textureSites[] = {0x7FDFDA, 0x728320, 0x58D872, 0x72837F, 0x728570};

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  std::string word;
  while (in >> word) out.push_back(word);
  return out;
}

// Whole-string integers only, decimal or 0x-hexadecimal, within [low, high].
long long number(const std::string& text, long long low, long long high, const char* what) {
  size_t used = 0;
  long long value = 0;
  try {
    value = std::stoll(text, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw ScenarioError(std::string("bad ") + what + ": " + text);
  if (value < low || value > high) throw ScenarioError(std::string(what) + " out of range: " + text);
  return value;
}

std::uint32_t colour(const std::string& text) {
  std::string hex = text;
  if (hex.rfind("0x", 0) == 0 || hex.rfind("0X", 0) == 0) hex = hex.substr(2);
  if (hex.rfind("#", 0) == 0) hex = hex.substr(1);
  if ((hex.size() != 6 && hex.size() != 8) ||
      hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    throw ScenarioError("bad colour (RRGGBB or AARRGGBB): " + text);
  std::uint32_t value = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
  return hex.size() == 6 ? (value | 0xFF000000u) : value;
}

int frameNumber(const std::string& text) { return static_cast<int>(number(text, 0, 1000000, "frame")); }

void need(const std::vector<std::string>& w, size_t low, size_t high, const char* usage) {
  if (w.size() < low || w.size() > high) throw ScenarioError(std::string("usage: ") + usage);
}

TextureSpec texture(const std::vector<std::string>& w) {
  need(w, 6, 9, "texture NAME W H AARRGGBB SITE [alpha] [palette] [FORMAT]");
  TextureSpec spec;
  spec.name = w[1];
  if (spec.name.size() > 31) throw ScenarioError("texture name longer than 31 characters: " + spec.name);
  spec.width = static_cast<int>(number(w[2], 1, 4096, "width"));
  spec.height = static_cast<int>(number(w[3], 1, 4096, "height"));
  spec.argb = colour(w[4]);
  spec.site = static_cast<std::uint32_t>(number(w[5], 0, 0xFFFFFFFF, "site"));
  if (!isTextureSite(spec.site)) throw ScenarioError("not a texture site: " + w[5]);
  for (size_t i = 6; i < w.size(); ++i) {
    if (w[i] == "alpha") spec.alpha = true;
    else if (w[i] == "palette") spec.palette = true;
    else if (isPictureFormat(textureFormatByName(w[i]))) spec.format = textureFormatByName(w[i]);
    else throw ScenarioError("unknown texture flag: " + w[i]);
  }
  if (spec.format != 0) {
    const std::string problem = pictureFormatProblem(spec.format, spec.width, spec.height);
    if (!problem.empty()) throw ScenarioError(spec.name + ": " + problem);
    if (spec.format == textureFormatByName("P8")) spec.palette = true;  // its colours are the palette's
  }
  return spec;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ScenarioError("cannot read scenario file: " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool isTextureSite(std::uint32_t address) {
  return std::find(std::begin(textureSites), std::end(textureSites), address) != std::end(textureSites);
}

std::vector<TextureSpec> Scenario::defaultScene() {
  auto spec = [](const char* name, std::uint32_t site, std::uint32_t argb) {
    TextureSpec t;
    t.name = name;
    t.site = site;
    t.argb = argb;
    return t;
  };
  return {spec("water", 0x7FDFDA, 0xFF0000FF), spec("fire", 0x728320, 0xFFFF0000),
          spec("grass", 0x58D872, 0xFF00FF00), spec("smoke", 0x72837F, 0xFF808080),
          spec("sky", 0x728570, 0xFF00FFFF)};
}

void applyDirective(Scenario& s, const std::string& line) {
  std::string text = line.substr(0, line.find('#'));
  auto w = words(text);
  if (w.empty()) return;
  const std::string& name = w[0];
  if (name == "frames") {
    need(w, 2, 2, "frames N");
    s.frames = static_cast<int>(number(w[1], 0, 1000000, "frames"));
  } else if (name == "frame_time") {
    need(w, 2, 2, "frame_time MILLISECONDS");
    s.frameTimeMs = static_cast<int>(number(w[1], 0, 60000, "frame time"));
  } else if (name == "d3d") {
    need(w, 2, 2, "d3d N|never");
    s.direct3DPass = w[1] == "never" ? Never : static_cast<int>(number(w[1], 0, 1000000, "pass"));
  } else if (name == "window") {
    need(w, 3, 3, "window W H");
    s.width = static_cast<int>(number(w[1], 64, 4096, "width"));
    s.height = static_cast<int>(number(w[2], 64, 4096, "height"));
  } else if (name == "texture") {
    if (!s.sceneGiven) s.textures.clear();
    s.sceneGiven = true;
    s.textures.push_back(texture(w));
  } else if (name == "dictionary") {
    if (w.size() < 2) throw ScenarioError("usage: dictionary NAME TEXTURE W H AARRGGBB SITE [alpha] [palette] [FORMAT]");
    s.dictionaries[w[1]].push_back(texture(std::vector<std::string>(w.begin() + 1, w.end())));
  } else if (name == "load" || name == "unload") {
    need(w, 3, 3, "load|unload FRAME DICTIONARY");
    if (s.dictionaries.count(w[2]) == 0) throw ScenarioError("no dictionary of that name (yet): " + w[2]);
    s.streaming.push_back({frameNumber(w[1]), w[2], name == "load"});
  } else if (name == "extension_offset") {
    need(w, 2, 2, "extension_offset N");
    // The extension must not overlap the 56-byte header.
    s.extensionOffset = static_cast<int>(number(w[1], 56, 4096, "extension offset"));
  } else if (name == "draw") {
    need(w, 2, 2, "draw on|off");
    if (w[1] != "on" && w[1] != "off") throw ScenarioError("usage: draw on|off");
    s.drawing = w[1] == "on";
  } else if (name == "reset") {
    need(w, 2, 2, "reset FRAME");
    s.resets.push_back(frameNumber(w[1]));
  } else if (name == "message") {
    need(w, 5, 6, "message FRAME MSG WPARAM LPARAM [post]");
    ScriptedMessage m;
    m.frame = frameNumber(w[1]);
    m.message = static_cast<unsigned>(number(w[2], 0, 0xFFFF, "message"));
    m.wParam = static_cast<std::uint32_t>(number(w[3], 0, 0xFFFFFFFF, "wparam"));
    m.lParam = static_cast<std::int32_t>(number(w[4], -0x80000000LL, 0xFFFFFFFF, "lparam"));
    if (w.size() == 6) {
      if (w[5] != "post") throw ScenarioError("unknown message flag: " + w[5]);
      m.post = true;
    }
    s.messages.push_back(m);
  } else if (name == "key") {
    need(w, 4, 6, "key FRAME VK down|up|press [extended] [alt]");
    ScriptedKey k;
    k.frame = frameNumber(w[1]);
    k.virtualKey = static_cast<int>(number(w[2], 1, 255, "virtual key"));
    if (w[3] == "down") k.down = true, k.up = false;
    else if (w[3] == "up") k.down = false, k.up = true;
    else if (w[3] == "press") k.down = true, k.up = true;
    else throw ScenarioError("key action must be down, up or press: " + w[3]);
    for (size_t i = 4; i < w.size(); ++i) {
      if (w[i] == "extended") k.extended = true;
      else if (w[i] == "alt") k.alt = true;
      else throw ScenarioError("unknown key flag: " + w[i]);
    }
    s.keys.push_back(k);
  } else if (name == "capture") {
    need(w, 3, 3, "capture FRAME FILE.png");
    s.captures.push_back({frameNumber(w[1]), w[2]});
  } else if (name == "trace") {
    need(w, 2, 2, "trace FILE");
    s.traceFile = w[1];
  } else if (name == "asi") {
    need(w, 2, 2, "asi FILE");
    s.modules.push_back(w[1]);
  } else if (name == "no_asi") {
    need(w, 1, 1, "no_asi");
    s.noModules = true;
  } else if (name == "driver") {
    need(w, 2, 2, "driver DLL");
    s.driver = w[1];
  } else if (name == "scenario") {
    need(w, 2, 2, "scenario FILE");
    applyScenarioText(s, readFile(w[1]));
  } else {
    throw ScenarioError("unknown directive: " + name);
  }
}

void applyScenarioText(Scenario& s, const std::string& text) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      applyDirective(s, line);
    } catch (const ScenarioError& e) {
      throw ScenarioError("line " + std::to_string(number) + ": " + e.what());
    }
  }
}

Scenario parseCommandLine(const std::vector<std::string>& args) {
  Scenario s;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      s.driverArgs.assign(args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) throw ScenarioError("unexpected argument: " + arg);
    std::string directive = arg.substr(2);
    // Flags without a value.
    if (directive == "no_asi" || directive == "no-asi") {
      applyDirective(s, "no_asi");
      continue;
    }
    if (i + 1 >= args.size()) throw ScenarioError("missing value after " + arg);
    std::string value = args[++i];
    std::replace(value.begin(), value.end(), ',', ' ');
    applyDirective(s, directive + " " + value);
  }
  return s;
}

}  // namespace Standin
