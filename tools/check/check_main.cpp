// Tells, before the game starts, what the module will do with a folder of animations: which
// files become animations of which textures, what is skipped and why, every message box it will
// show, what it ignores, and how much memory it will take.
//   velquor-check [--json] [--strict] [FOLDER]     (FOLDER defaults to "Velquor")
// Exit status: 0 all well, 1 something would go wrong in the game, 2 bad command line.
#include <cstdio>
#include <string>

#include "check/check_report.h"
#include "check/folder_check.h"
#include "plugin/catalogue.h"

int main(int argc, char** argv) {
  bool json = false, strict = false;
  std::string folder(AnimationFolder);
  int folders = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--strict") {
      strict = true;
    } else if (arg == "--help" || arg == "-h" || (!arg.empty() && arg[0] == '-') || ++folders > 1) {
      std::fprintf(stderr, "usage: velquor-check [--json] [--strict] [FOLDER]\n"
                           "  FOLDER: the Velquor folder to check (default: Velquor)\n"
                           "  --json: machine-readable output\n"
                           "  --strict: likely mistakes also give exit status 1\n");
      return arg == "--help" || arg == "-h" ? 0 : 2;
    } else {
      folder = arg;
    }
  }
  const FolderPrediction prediction = checkFolder(folder);
  const std::string report = json ? formatJson(prediction) : formatText(prediction);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return exitStatus(prediction, strict);
}
