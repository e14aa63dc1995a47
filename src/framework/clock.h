#pragma once
// The one place where the module reads the time. Every time it compares (frame timing, trim
// passes, coroutine wake times) comes from here: a monotonic clock, so that setting the system
// clock back or forward neither freezes nor rushes anything. Tests replace the source to drive
// those without sleeping.
#include <cstdint>

namespace KelClock {

using Source = std::int64_t (*)();  // nanoseconds from an arbitrary start, never going back

// std::chrono::steady_clock in nanoseconds, or the test source if one is set.
std::int64_t nowNs();

// Replaces the clock for every caller; nullptr restores the monotonic clock.
void setSource(Source source);

}  // namespace KelClock

// The module's clock in milliseconds (KelClock::nowNs() / 1,000,000).
std::int64_t nowMs();
