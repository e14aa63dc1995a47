#pragma once
// The settings of one animation, read from Velquor/<name>.cfg beside its GIF: whether the GIF's
// background colour stays opaque, whether the proxy raster's palette index and alpha flag are
// forced, and whether the GIF's disposal methods and loop count are honoured. Read once when the
// animation is made; never changes afterwards.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "gif/frame_options.h"

class AnimationConfig {
 public:
  // Loads path if the file exists; a missing file leaves the defaults without a message.
  explicit AnimationConfig(std::string_view path);
  // The file is never rewritten: whatever the player wrote in it, lines the module does not know
  // included, stays as it was.
  ~AnimationConfig() = default;

  AnimationConfig(const AnimationConfig&) = delete;
  AnimationConfig& operator=(const AnimationConfig&) = delete;

  std::optional<bool> background;
  std::optional<bool> override{false};
  std::optional<std::uint8_t> alpha;
  std::optional<std::uint32_t> number_color_palette;
  std::optional<bool> disposal;
  std::optional<bool> loop;
  std::string path;

  // True when the GIF's background colour is to stay opaque.
  bool keepBackground() const { return background.value_or(false); }
  bool overrides() const { return override.value_or(false); }
  // What the frames are to be made and played with.
  FrameOptions frameOptions() const {
    return {keepBackground(), disposal.value_or(false), loop.value_or(false)};
  }

 private:
  void load();
};

// std::stoul as a 32-bit Windows runtime does it, on every platform: leading white space, an
// optional sign (a minus wraps modulo 2^32), decimal digits, anything after them ignored.
// Throws std::invalid_argument or std::out_of_range, both with the message "stoul".
std::uint32_t parseUnsigned32(const std::string& text);
