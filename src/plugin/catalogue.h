#pragma once
// The catalogue: texture name to animation, ordered byte-wise. Looked up by view, so finding a
// texture's name allocates nothing. Its animations are deleted by the texture manager that owns
// the catalogue, when the module unloads.
#include <functional>
#include <map>
#include <string>
#include <string_view>

class Animation;

using Catalogue = std::map<std::string, Animation*, std::less<>>;

// The folder of the animations, relative to the game's current directory.
constexpr std::string_view AnimationFolder = "Velquor";
// The first animations made are decoded at once; the rest at their first use.
constexpr int PreloadedAnimations = 50;
