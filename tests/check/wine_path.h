#pragma once
// The build knows its outputs by Unix paths; a Windows program under Wine sees the Unix root as
// drive Z:.
#include <string>

inline std::string windowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}
