#include "allocation_counter.h"

#include <cstdlib>
#include <new>

namespace AllocationCounter {
std::atomic<bool> counting{false};
std::atomic<long> count{0};
}  // namespace AllocationCounter

void* operator new(std::size_t size) {
  if (AllocationCounter::counting.load(std::memory_order_relaxed)) ++AllocationCounter::count;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
