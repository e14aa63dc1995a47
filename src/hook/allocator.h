#pragma once
// Executable memory for generated stubs: small blocks carved from whole pages obtained with
// VirtualAlloc. Fresh and freed memory holds 0xCC, so a jump into stale code stops at once.
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace KelHook {

// A block of executable memory; {nullptr, 0} is no block.
struct Ptr {
  void* address = nullptr;
  std::uint32_t size = 0;
};

// One area obtained from the system with its free parts (in the order they came into being).
class Page {
 public:
  Page(void* address, std::uint32_t size);

  // The last free part that fits gives its start; {nullptr, 0} when none fits.
  Ptr allocate(unsigned size);
  // Grows or shrinks `ptr` in place only.
  bool reallocate(Ptr& ptr, unsigned newSize);
  // Returns the block to the free parts, merged with the free part on each side of it.
  bool deallocate(const Ptr& ptr);

  bool contains(const Ptr& ptr) const;
  bool isEmpty() const;  // one free part covering the whole page
  std::uint32_t freeBytes() const;

  void* address;
  std::uint32_t size;
  std::deque<Ptr> freePtrs;
};

class Allocator {
 public:
  // The process's allocator, created on first use; its pages are never given back at exit.
  static Allocator& instance();

  Allocator() = default;
  Allocator(const Allocator&) = delete;
  Allocator& operator=(const Allocator&) = delete;

  Ptr allocate(unsigned size);
  // Resizes in place when free space follows the block, else moves it (contents kept).
  bool reallocate(Ptr& ptr, unsigned newSize);
  // False when the block is none of this allocator's; sets `ptr` to {nullptr, 0} otherwise.
  bool deallocate(Ptr& ptr);

  // A copy of the page records, for inspection.
  std::vector<Page> pages() const;

 private:
  Ptr allocateLocked(unsigned size);
  bool deallocateLocked(Ptr& ptr);
  void trace(const char* format, ...) const;

  std::deque<Page> pages_;
  mutable std::mutex mutex_;
};

}  // namespace KelHook
