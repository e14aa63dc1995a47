#include "plugin/picked_file.h"

#include <cstring>

#include "plugin/device_names.h"

std::string pickedFileName(const std::string& folder, const std::string& textureName,
                           const std::function<bool(const std::string&)>& taken) {
  std::string stem = textureName.empty() ? "_" : textureName;
  for (char& c : stem)
    if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/\\|?*", c)) c = '_';
  // Windows drops dots and spaces at the end of a name.
  if (stem.back() == '.' || stem.back() == ' ') stem += '_';
  if (isDeviceName(stem + ".png")) stem += '_';
  const std::string base = folder + "/" + stem;
  std::string path = base + ".png";
  for (int n = 2; taken(path); ++n) path = base + "-" + std::to_string(n) + ".png";
  return path;
}
