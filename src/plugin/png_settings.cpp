#include "plugin/png_settings.h"

#include "plugin/animation_config.h"

std::vector<std::string> settingsNotForPng(const AnimationConfig& config, const std::string& pngFile) {
  std::vector<std::string> lines;
  const std::string where = config.path + ": ";
  if (config.keepBackground())
    lines.push_back(where + "background=1 does not apply to " + pngFile +
                    ": a PNG has no background colour, its own transparency is shown");
  if (config.overrides() && config.number_color_palette)
    lines.push_back(where + "number_color_palette does not apply to " + pngFile +
                    ": a PNG has no palette, the game raster's own stays");
  return lines;
}

std::optional<std::uint8_t> rasterAlphaFlag(const AnimationConfig& config, bool partialAlpha) {
  if (config.overrides() && config.alpha) return config.alpha;
  if (partialAlpha) return std::uint8_t{1};
  return std::nullopt;
}
