#pragma once
// The animations we ship as samples, the larger set the decoder's benchmark reads, and the two
// the module's benchmark brings into view in the game.
#include <cstdint>
#include <string>
#include <vector>

#include "samples/quantize.h"
#include "samples/scenes.h"

namespace Samples {

struct AnimationSpec {
  std::string name;         // file name without ".gif"
  int width = 0, height = 0, frames = 0;
  Scene scene = Scene::Fire;
  int colours = 256;        // palette size, 2..256
  Dither dither = Dither::None;
  std::uint16_t delay = 0;  // hundredths of a second
  std::vector<std::uint16_t> delayPattern;  // if given, frame f waits delayPattern[f % size]
  std::uint16_t loops = 0;  // NETSCAPE repetition count, 0 endless
  bool changedRegionOnly = false;  // later images cover only what changed, the rest transparent
  bool localPalettes = false;      // every image its own colour table
  bool interlaced = false;
  std::string config;              // text of <name>.cfg, empty for none
};

const std::vector<AnimationSpec>& bundledSamples();
const std::vector<AnimationSpec>& benchmarkSamples();
const std::vector<AnimationSpec>& appearanceSamples();

}  // namespace Samples
