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
  std::string decoderMessages;         // what the decoder printed on the standard error stream
  std::string settingsMessages;        // message boxes the settings file would show, one a line
  bool hasSettings = false;            // <name>.cfg exists beside the GIF
  bool keepBackground = false;         // as the settings decide it for the game
  std::unique_ptr<FrameList> frames;   // null when refused
  std::vector<std::int64_t> delays;    // ms, one per frame

  // Memory the module holds: colour indices, palettes and frame records while the animation is
  // decoded, and 32-bit textures while it is uploaded.
  std::uint64_t decodedBytes() const;
  std::uint64_t textureBytes() const;
};

// Loads `path` as the module would; never throws for a bad file. Messages name the file as
// `shownName` (the path if empty), as the module names it in its own folder.
GifInspection inspectGif(const std::string& path, const std::string& shownName = "");

// The .gif files of a folder, sorted by name; a path to a file is returned as it is.
std::vector<std::string> gifPathsIn(const std::string& path);

// The lines printed for one file.
std::string formatInspection(const GifInspection& inspection);
