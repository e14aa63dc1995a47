#pragma once
// What every frame list holds right now, in bytes: decoded frames (counted by the frames as they
// are composed and destroyed) and textures (counted where they are made and released). Frames
// are decoded on the loader thread too, so the counts are atomic.
#include <atomic>
#include <cstdint>

namespace MemoryUse {
inline std::atomic<std::uint64_t> decoded{0};
inline std::atomic<std::uint64_t> textures{0};
// Textures not made yet that animations in view have taken room for in the texture budget: the
// budget holds textures plus these.
inline std::atomic<std::uint64_t> texturesPromised{0};
}  // namespace MemoryUse
