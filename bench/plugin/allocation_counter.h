#pragma once
// Counts every allocation made through operator new in this program while counting is on.
#include <atomic>
#include <cstddef>

namespace AllocationCounter {
extern std::atomic<bool> counting;
extern std::atomic<long> count;
}  // namespace AllocationCounter
