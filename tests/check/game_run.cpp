#include "check/game_run.h"

#include <windows.h>

#include <fstream>

#include "check/wine_path.h"

namespace fs = std::filesystem;

namespace {

int run(const std::string& commandLine, const fs::path& folder) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.string().c_str(), &startup, &process))
    return -1;
  WaitForSingleObject(process.hProcess, 300'000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

}  // namespace

std::string traceField(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\":";
  auto at = line.find(marker);
  if (at == std::string::npos) return "";
  at += marker.size();
  if (line[at] != '"') {
    const auto end = line.find_first_of(",}", at);
    return line.substr(at, end - at);
  }
  std::string value;
  for (++at; at < line.size() && line[at] != '"'; ++at) {
    if (line[at] != '\\') {
      value += line[at];
      continue;
    }
    const char escaped = line[++at];
    if (escaped == 'n') value += '\n';
    else if (escaped == 'r') value += '\r';
    else if (escaped == 't') value += '\t';
    else if (escaped == 'u') {
      value += static_cast<char>(std::stoi(line.substr(at + 1, 4), nullptr, 16));
      at += 4;
    } else value += escaped;
  }
  return value;
}

GameRun runGame(const fs::path& gameFolder, const std::vector<std::string>& scene, int frames,
                const std::string& options) {
  static const char* const sites[] = {"0x728320", "0x7FDFDA", "0x58D872", "0x72837F", "0x728570"};
  {
    std::ofstream scenario(gameFolder / "scenario.txt", std::ios::binary);
    scenario << "frames " << frames << "\ntrace trace.jsonl\nasi " << windowsPath(VELQUOR_ASI) << "\n"
             << options << "\n";
    for (std::size_t i = 0; i < scene.size(); ++i)
      scenario << "texture " << scene[i] << " 16 16 ffffff00 " << sites[i % 5] << " palette\n";
  }
  GameRun result;
  result.exitCode =
      run("\"" + windowsPath(STANDIN_EXE) + "\" --scenario scenario.txt", gameFolder);

  std::ifstream trace(gameFolder / "trace.jsonl", std::ios::binary);
  for (std::string line; std::getline(trace, line);) {
    const std::string event = traceField(line, "event");
    if (event == "message_box") result.boxes.push_back({traceField(line, "caption"), traceField(line, "text")});
    if (event != "draw") continue;
    const std::string name = traceField(line, "texture");
    TracedDraw draw;
    draw.swapped = traceField(line, "swapped") == "true";
    draw.d3dTexture = traceField(line, "d3d_texture");
    draw.alpha = traceField(line, "alpha") == "true";
    draw.paletteIndex = std::stol(traceField(line, "palette_index"));
    result.last[name] = draw;
  }
  return result;
}
