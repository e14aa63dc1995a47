#pragma once
// The names the guide, the names log and the picker give to Direct3D 9 texture formats.
#include <cstdint>
#include <string>
#include <string_view>

// "A8R8G8B8", "DXT1", "P8", ...; "format <number>" for one without a name here.
std::string textureFormatName(std::uint32_t d3dFormat);
// The format of a name textureFormatName gives, in any letter case; 0 for none.
std::uint32_t textureFormatByName(std::string_view name);
