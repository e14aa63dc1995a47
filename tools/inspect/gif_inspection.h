#pragma once
// What the module makes of one GIF: read through the module's own frame list (and so its
// decoder) and settings reader, with the figures a texture author wants to see.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gif/frame_list.h"

struct GifInspection {
  std::string path;
  bool accepted = false;
  std::string refusal;                 // the frame list's message when refused
  std::string decoderMessages;         // the decoder's messages, one a line
  std::string version;                 // as the header declares it; empty when not a GIF
  std::vector<int> disposalByImage;    // disposal method of each image decoded, in order
  std::string settingsMessages;        // message boxes the settings file would show, one a line
  bool hasSettings = false;            // <name>.cfg exists beside the GIF
  // As the settings decide them for the game:
  bool keepBackground = false;
  bool honourDisposal = false;
  bool honourLoopCount = false;
  std::unique_ptr<FrameList> frames;   // made and played with options(); null when refused
  std::vector<std::int64_t> delays;    // ms, one per frame

  // Memory the module holds: colour indices, palettes and frame records while the animation is
  // decoded, and 32-bit textures while it is uploaded.
  std::uint64_t decodedBytes() const;
  std::uint64_t textureBytes() const;
  FrameOptions options() const { return {keepBackground, honourDisposal, honourLoopCount}; }
  // Some image's disposal method changes what the next is drawn over (the module's own rule), so
  // disposal=1 changes the frames.
  bool disposalMatters() const;
};

// Loads `path` (UTF-8) as the module would; never throws for a bad file. Messages name the file as
// `shownName` (the path if empty), as the module names it in its own folder.
GifInspection inspectGif(const std::string& path, const std::string& shownName = "");

// The .gif files of a folder (UTF-8 paths), sorted by name; a path to a file is returned as it is.
std::vector<std::string> gifPathsIn(const std::string& path);

// The lines printed for one file.
std::string formatInspection(const GifInspection& inspection);
