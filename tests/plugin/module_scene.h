#pragma once
// What the module's end-to-end tests ask of the stand-in's scene: a texture by name, its draw
// record, and colours compared within the rounding of the device.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/standin_api.h"

inline const Standin::DrawRecord* drawOf(const std::vector<Standin::DrawRecord>& draws,
                                         const std::string& name) {
  for (const auto& draw : draws)
    if (draw.texture == name) return &draw;
  return nullptr;
}

inline Standin::TextureSpec texture(const std::string& name, std::uint32_t site, bool alpha = false,
                                    bool palette = false) {
  Standin::TextureSpec spec;
  spec.name = name;
  spec.argb = 0xFFFFFF00;  // yellow: never a colour of the test GIFs
  spec.site = site;
  spec.alpha = alpha;
  spec.palette = palette;
  return spec;
}

inline bool closeColours(std::uint32_t a, std::uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > 2) return false;
  }
  return true;
}
