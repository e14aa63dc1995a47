#pragma once
// The time of the game frame being drawn. The game uses a texture thousands of times a frame and
// playback needs no finer time than a frame's: the module's clock is read once per frame (tick,
// from the game loop) and every use of a texture reads the remembered value, which costs a load
// instead of a clock read. Only the game's thread ticks and reads.
#include <cstdint>

namespace FrameClock {

namespace detail {
extern std::int64_t frameMs;
extern std::uint32_t frames;
}

// Milliseconds of the module's clock at the last tick (0 before the first).
inline std::int64_t nowMs() noexcept { return detail::frameMs; }
// The number of ticks so far: tells one game frame from the next.
inline std::uint32_t frameNumber() noexcept { return detail::frames; }

// Reads the module's clock (KelClock) for the frame that starts; returns the reading.
std::int64_t tick() noexcept;

}  // namespace FrameClock
