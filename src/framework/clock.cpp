#include "framework/clock.h"

#include <atomic>
#include <chrono>

namespace KelClock {
namespace {
std::atomic<Source> testSource{nullptr};
}

std::int64_t nowNs() {
  if (Source source = testSource.load(std::memory_order_relaxed)) return source();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void setSource(Source source) { testSource.store(source, std::memory_order_relaxed); }

}  // namespace KelClock

std::int64_t nowMs() { return KelClock::nowNs() / 1'000'000; }
