#pragma once
// What an animation's settings mean when its file is a PNG. A PNG has no background colour and
// no palette, and carries its own transparency: "background=1" and the override's
// "number_color_palette" do nothing for it and are reported as such (the module's log, the
// checker). Its raster gets the alpha flag when its frames have partial transparency, so that the
// game blends them, unless the settings' override gives the flag.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class AnimationConfig;

// One line per setting used that does nothing for `pngFile`, naming the settings file; empty when
// none is used.
std::vector<std::string> settingsNotForPng(const AnimationConfig& config, const std::string& pngFile);

// The alpha flag the animation's raster carries: the override's own when it gives one; 1 when
// the frames have partial alpha; nothing (the game raster's own flag stays) otherwise.
std::optional<std::uint8_t> rasterAlphaFlag(const AnimationConfig& config, bool partialAlpha);
