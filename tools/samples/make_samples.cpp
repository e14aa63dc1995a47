// Writes the sample animations: `make_samples bundled DIR` the few we ship (with their settings
// files), `make_samples bench DIR` the larger set the benchmark reads. Output is deterministic.
// The shipped set is remade with: build/native/tools/samples/velquor_make_samples bundled samples/Velquor
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "samples/animation_encoder.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "bundled") != 0 && std::strcmp(argv[1], "bench") != 0)) {
    std::fprintf(stderr, "usage: %s bundled|bench DIR\n", argv[0]);
    return 2;
  }
  const bool bundled = std::strcmp(argv[1], "bundled") == 0;
  const std::string dir = argv[2];
  const auto& set = bundled ? Samples::bundledSamples() : Samples::benchmarkSamples();
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
