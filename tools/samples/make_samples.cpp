// Writes the sample animations: `make_samples bundled DIR` the few we ship (with their settings
// files), `make_samples bench DIR` the larger set the decoder's benchmark reads, `make_samples
// appearance DIR` the two the module's benchmark brings into view. Output is deterministic.
// The shipped set is remade with: build/native/tools/samples/velquor_make_samples bundled samples/Velquor
#include <cstdio>
#include <fstream>
#include <string>

#include "samples/animation_encoder.h"

int main(int argc, char** argv) {
  const std::string which = argc == 3 ? argv[1] : "";
  if (which != "bundled" && which != "bench" && which != "appearance") {
    std::fprintf(stderr, "usage: %s bundled|bench|appearance DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[2];
  const auto& set = which == "bundled" ? Samples::bundledSamples()
                    : which == "bench" ? Samples::benchmarkSamples()
                                       : Samples::appearanceSamples();
  std::size_t total = 0;
  for (const Samples::AnimationSpec& spec : set) {
    GifBytes bytes = Samples::encodeAnimation(spec);
    std::string path = dir + "/" + spec.name + ".gif";
    if (!writeFile(path, bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    if (!spec.config.empty()) {
      std::ofstream cfg(dir + "/" + spec.name + ".cfg", std::ios::binary);
      cfg << spec.config;
      if (!cfg) {
        std::fprintf(stderr, "cannot write %s/%s.cfg\n", dir.c_str(), spec.name.c_str());
        return 1;
      }
    }
    total += bytes.size();
    std::printf("%-28s %4dx%-4d %3d frames %9zu bytes\n", path.c_str(), spec.width, spec.height, spec.frames,
                bytes.size());
  }
  std::printf("%zu files, %zu bytes\n", set.size(), total);
  return 0;
}
