#pragma once
// What a GIF file asks for that the module does not act on: its version and the disposal method
// of each image. A plain walk over the blocks, for the checker's notes only; whether the module
// accepts the file is decided by the module's own decoder, never here.
#include <cstdint>
#include <string>
#include <vector>

struct GifStructure {
  std::string version;                  // "89a", "87a", ... ; empty when not a GIF at all
  std::vector<int> disposalByImage;     // disposal method in force for each image, in order
  bool userInput = false;               // some image waits for user input
  bool complete = false;                // the walk reached the trailer
};

GifStructure readGifStructure(const std::vector<std::uint8_t>& bytes);
GifStructure readGifStructureOfFile(const std::string& path);
