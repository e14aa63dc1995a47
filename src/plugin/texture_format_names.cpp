#include "plugin/texture_format_names.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::uint32_t fourCc(char a, char b, char c, char d) {
  return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 | std::uint32_t(std::uint8_t(c)) << 16 |
         std::uint32_t(std::uint8_t(d)) << 24;
}

struct Named {
  std::uint32_t format;
  const char* name;
};

// D3DFORMAT values, spelled out so that tools without the Direct3D headers share the names.
constexpr Named formats[] = {
    {20, "R8G8B8"},   {21, "A8R8G8B8"}, {22, "X8R8G8B8"}, {23, "R5G6B5"},  {24, "X1R5G5B5"},
    {25, "A1R5G5B5"}, {26, "A4R4G4B4"}, {28, "A8"},       {30, "X4R4G4B4"}, {40, "A8P8"},
    {41, "P8"},       {50, "L8"},       {51, "A8L8"},     {52, "A4L4"},
    {fourCc('D', 'X', 'T', '1'), "DXT1"}, {fourCc('D', 'X', 'T', '2'), "DXT2"}, {fourCc('D', 'X', 'T', '3'), "DXT3"},
    {fourCc('D', 'X', 'T', '4'), "DXT4"}, {fourCc('D', 'X', 'T', '5'), "DXT5"},
};

}  // namespace

std::string textureFormatName(std::uint32_t d3dFormat) {
  for (const Named& f : formats)
    if (f.format == d3dFormat) return f.name;
  return "format " + std::to_string(d3dFormat);
}

std::uint32_t textureFormatByName(std::string_view name) {
  for (const Named& f : formats) {
    const std::string_view known = f.name;
    if (known.size() == name.size() &&
        std::equal(known.begin(), known.end(), name.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        }))
      return f.format;
  }
  return 0;
}
