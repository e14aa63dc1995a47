#pragma once
// A clock that tests move by hand. While a ManualClock lives, every reading of the module's
// clock returns its value; each move also starts a game frame (FrameClock) at the new time.
#include <cstdint>

#include "framework/clock.h"
#include "framework/frame_clock.h"

class ManualClock {
 public:
  explicit ManualClock(std::int64_t startMs = 1'000'000) {
    value() = startMs * 1'000'000;
    KelClock::setSource(&read);
    FrameClock::tick();
  }
  ~ManualClock() {
    KelClock::setSource(nullptr);
    FrameClock::tick();
  }
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  void setMs(std::int64_t ms) {
    value() = ms * 1'000'000;
    FrameClock::tick();
  }
  void advanceMs(std::int64_t ms) {
    value() += ms * 1'000'000;
    FrameClock::tick();
  }
  std::int64_t ms() const { return value() / 1'000'000; }

 private:
  static std::int64_t& value() {
    static std::int64_t now = 0;
    return now;
  }
  static std::int64_t read() { return value(); }
};
