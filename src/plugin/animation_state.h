#pragma once
#include <cstdint>

// How much of an animation is in memory: nothing, its decoded frames, or frames and textures.
enum class AnimationState : std::uint8_t { Unloaded = 0, Decoded = 1, Uploaded = 2 };
