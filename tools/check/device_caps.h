#pragma once
// The largest texture the machine's Direct3D 9 card makes, asked of Direct3D itself on Windows
// (no window or device is needed), once a run. Elsewhere there is no card to ask.
#include <optional>

struct TextureSizeLimit {
  unsigned maxWidth = 0, maxHeight = 0;
};

std::optional<TextureSizeLimit> deviceTextureSizeLimit();

// Assumed where the card cannot be asked: what most Direct3D 9 cards of the game's time make.
constexpr TextureSizeLimit CommonTextureSizeLimit{8192, 8192};
