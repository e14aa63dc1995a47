#include "framework/frame_clock.h"

#include "framework/clock.h"

namespace FrameClock {

namespace detail {
std::int64_t frameMs = 0;
std::uint32_t frames = 0;
}

std::int64_t tick() noexcept {
  detail::frameMs = KelClock::nowNs() / 1'000'000;
  ++detail::frames;
  return detail::frameMs;
}

}  // namespace FrameClock
