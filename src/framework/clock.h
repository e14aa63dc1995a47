#pragma once
// The one place where the module reads the system clock. Tests replace the source to drive
// playback, trim passes and coroutine wake times without sleeping.
#include <cstdint>

namespace KelClock {

using Source = std::int64_t (*)();  // nanoseconds since the system clock's epoch

// The system clock (std::chrono::system_clock) in nanoseconds, or the test source if one is set.
std::int64_t nowNs();

// Replaces the clock for every caller; nullptr restores the system clock.
void setSource(Source source);

}  // namespace KelClock
