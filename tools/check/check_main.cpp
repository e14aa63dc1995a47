// Tells, before the game starts, what the module will do with a folder of animations: which
// files become animations of which textures, what is skipped and why, every message box it will
// show, what it ignores, and how much memory it will take.
//   velquor-check [--json] [--strict] [FOLDER]     (FOLDER defaults to "Velquor")
// Exit status: 0 all well, 1 something would go wrong in the game, 2 bad command line.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "check/check_report.h"
#include "check/folder_check.h"
#include "plugin/catalogue.h"

namespace fs = std::filesystem;

namespace {

// The arguments as paths: on Windows from the wide command line, so that a folder whose path
// holds characters outside the ANSI code page is still found.
std::vector<fs::path> arguments(int argc, char** argv) {
  std::vector<fs::path> args;
#ifdef _WIN32
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.emplace_back(wide[i]);
    LocalFree(wide);
    return args;
  }
#endif
  for (int i = 1; i < argc; ++i) args.push_back(fs::u8path(argv[i]));
  return args;
}

int usage(int status) {
  std::fprintf(stderr, "usage: velquor-check [--json] [--strict] [FOLDER]\n"
                       "  FOLDER: the Velquor folder to check (default: Velquor)\n"
                       "  --json: machine-readable output\n"
                       "  --strict: likely mistakes also give exit status 1\n");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false, strict = false;
  fs::path folder = fs::u8path(std::string(AnimationFolder));
  int folders = 0;
  for (const fs::path& arg : arguments(argc, argv)) {
    const std::string text = arg.u8string();
    if (text == "--json") json = true;
    else if (text == "--strict") strict = true;
    else if (text == "--help" || text == "-h") return usage(0);
    else if ((!text.empty() && text[0] == '-') || ++folders > 1) return usage(2);
    else folder = arg;
  }

  // The module opens its files by paths relative to the game's folder ("Velquor/fire.gif");
  // checking from the folder's parent opens them by the very same paths.
  std::error_code error;
  fs::path target = fs::absolute(folder, error).lexically_normal();
  if (!target.has_filename()) target = target.parent_path();
  fs::current_path(target.parent_path(), error);
  FolderPrediction prediction = checkFolder(target.filename().u8string());
  prediction.folder = target.u8string();

  const std::string report = json ? formatJson(prediction) : formatText(prediction);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return exitStatus(prediction, strict);
}
