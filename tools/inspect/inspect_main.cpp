// Shows what the module will make of GIF animations: for a GIF, or every .gif of a folder, whether
// the module accepts it and why not, its size, frames, delays, loop count and the memory it takes,
// and contact sheets of its frames as the textures will hold them (background colour
// transparent, and kept; for a GIF whose disposal methods matter, also with disposal=1: those
// sheets' names end in ".disposal.png").
//   velquor_inspect [-o OUTDIR] PATH...
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "inspect/contact_sheet.h"
#include "inspect/gif_inspection.h"
#include "inspect/sheet_choices.h"
#include "png/png_writer.h"

namespace fs = std::filesystem;

namespace {

// Writes the sheet and says where, and at what scale when frames had to shrink.
bool writeSheet(const FrameList& frames, const SheetChoice& choice, const fs::path& path) {
  ContactSheet sheet = makeContactSheet(frames, choice.keepBackground);
  bool ok = !sheet.pixels.empty() &&
            VelquorPng::writePng(path.string(), sheet.width, sheet.height, sheet.pixels.data());
  std::printf("  sheet (%s): %s", choice.label.c_str(), path.string().c_str());
  if (sheet.scale > 1) std::printf(" (frames at 1/%d size)", sheet.scale);
  std::printf("%s\n", ok ? "" : " NOT WRITTEN");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path outDir = "out/inspect";
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-o" && i + 1 < argc) outDir = argv[++i];
    else inputs.push_back(arg);
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: velquor_inspect [-o OUTDIR] GIF-or-folder...\n");
    return 2;
  }
  std::error_code ec;
  fs::create_directories(outDir, ec);

  int accepted = 0, refused = 0;
  for (const std::string& input : inputs) {
    for (const std::string& path : gifPathsIn(input)) {
      GifInspection inspection = inspectGif(path);
      std::fputs(formatInspection(inspection).c_str(), stdout);
      if (!inspection.accepted) {
        ++refused;
        continue;
      }
      ++accepted;
      if (inspection.frames->frames.empty()) {
        std::printf("  no frames: no contact sheet\n");
        continue;
      }
      const std::string stem = fs::path(path).stem().string();
      for (const SheetChoice& choice : sheetChoices(inspection)) {
        std::unique_ptr<FrameList> other;
        const FrameList& frames = framesFor(inspection, choice, other);
        if (!writeSheet(frames, choice, outDir / (stem + choice.fileEnding))) ++refused;
      }
    }
  }
  std::printf("%d accepted, %d refused; contact sheets in %s\n", accepted, refused, outDir.string().c_str());
  return refused == 0 ? 0 : 1;
}
