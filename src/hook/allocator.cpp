#include "hook/allocator.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "hook/engine_log.h"
#include "hook/memory.h"

namespace KelHook {
namespace {

constexpr std::uint8_t Breakpoint = 0xCC;

// The allocator's step messages are never written; they cost nothing while off.
constexpr bool TraceEnabled = false;

std::uint8_t* bytesOf(void* address) { return static_cast<std::uint8_t*>(address); }

bool touches(const Ptr& before, const Ptr& after) {
  return bytesOf(before.address) + before.size == bytesOf(after.address);
}

}  // namespace

Page::Page(void* address, std::uint32_t size)
    : address(address), size(size), freePtrs{Ptr{address, size}} {}

bool Page::contains(const Ptr& ptr) const {
  return bytesOf(ptr.address) >= bytesOf(address) &&
         bytesOf(ptr.address) + ptr.size <= bytesOf(address) + size;
}

bool Page::isEmpty() const {
  return freePtrs.size() == 1 && freePtrs.front().address == address &&
         freePtrs.front().size == size;
}

std::uint32_t Page::freeBytes() const {
  std::uint32_t sum = 0;
  for (const Ptr& part : freePtrs) sum += part.size;
  return sum;
}

Ptr Page::allocate(unsigned wanted) {
  if (wanted == 0) return {};
  // The last fitting part in list order.
  auto chosen = freePtrs.end();
  for (auto part = freePtrs.begin(); part != freePtrs.end(); ++part)
    if (part->size >= wanted) chosen = part;
  if (chosen == freePtrs.end()) return {};
  Ptr block{chosen->address, wanted};
  if (chosen->size == wanted) {
    freePtrs.erase(chosen);
  } else {
    chosen->address = bytesOf(chosen->address) + wanted;
    chosen->size -= wanted;
  }
  return block;
}

bool Page::reallocate(Ptr& ptr, unsigned newSize) {
  if (!contains(ptr)) return false;
  if (newSize <= ptr.size) {
    // Shrinking in place: the tail becomes free.
    if (newSize < ptr.size) {
      Ptr tail{bytesOf(ptr.address) + newSize, ptr.size - newSize};
      std::memset(tail.address, Breakpoint, tail.size);
      ptr.size = newSize;
      deallocate(tail);
    }
    return true;
  }
  for (auto part = freePtrs.begin(); part != freePtrs.end(); ++part) {
    if (!touches(ptr, *part) || ptr.size + part->size < newSize) continue;
    std::uint32_t remainder = ptr.size + part->size - newSize;
    if (remainder == 0) {
      freePtrs.erase(part);
    } else {
      part->address = bytesOf(ptr.address) + newSize;
      part->size = remainder;
    }
    ptr.size = newSize;
    return true;
  }
  return false;
}

bool Page::deallocate(const Ptr& ptr) {
  if (!ptr.address || ptr.size == 0 || !contains(ptr)) return false;
  // A block that overlaps a free part was freed already: taking it again would hand the
  // same memory out twice.
  for (const Ptr& part : freePtrs)
    if (bytesOf(ptr.address) < bytesOf(part.address) + part.size &&
        bytesOf(part.address) < bytesOf(ptr.address) + ptr.size)
      return false;
  // Merged with the free part on each side, so that a page whose blocks all come back is one
  // free part again (and is given back).
  auto before = freePtrs.end();
  auto after = freePtrs.end();
  for (auto part = freePtrs.begin(); part != freePtrs.end(); ++part) {
    if (touches(*part, ptr)) before = part;
    if (touches(ptr, *part)) after = part;
  }
  if (before != freePtrs.end() && after != freePtrs.end()) {
    before->size += ptr.size + after->size;
    freePtrs.erase(after);
  } else if (before != freePtrs.end()) {
    before->size += ptr.size;
  } else if (after != freePtrs.end()) {
    after->address = ptr.address;
    after->size += ptr.size;
  } else {
    freePtrs.push_back(ptr);
  }
  return true;
}

Allocator& Allocator::instance() {
  // Never destroyed: stubs in its pages may run until the process ends.
  static Allocator* allocator = new Allocator;
  return *allocator;
}

std::vector<Page> Allocator::pages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {pages_.begin(), pages_.end()};
}

Ptr Allocator::allocate(unsigned size) {
  std::lock_guard<std::mutex> lock(mutex_);
  return allocateLocked(size);
}

Ptr Allocator::allocateLocked(unsigned size) {
  trace("TRACE allocate %u", size);
  if (size == 0) return {};
  for (Page& page : pages_) {
    Ptr block = page.allocate(size);
    if (block.address) {
      trace("Allocate ptr{%p, %u} in page{%p, %u}", block.address, block.size, page.address,
            page.size);
      return block;
    }
  }
  const unsigned systemPage = pageSize();
  const std::uint64_t rounded = (std::uint64_t{size} + systemPage - 1) / systemPage * systemPage;
  if (rounded > 0xFFFFFFFFu) return {};
  const auto areaSize = static_cast<std::uint32_t>(rounded);
  void* area = VirtualAlloc(nullptr, areaSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
  if (!area) {
    trace("Can't allocate new page");
    return {};
  }
  if (!makeExecutable(area, areaSize)) {
    VirtualFree(area, 0, MEM_RELEASE);
    trace("Can't allocate new ptr");
    return {};
  }
  std::memset(area, Breakpoint, areaSize);
  pages_.emplace_back(area, areaSize);
  Ptr block = pages_.back().allocate(size);
  trace("Allocate ptr{%p, %u} in new page{%p, %u}", block.address, block.size, area, areaSize);
  return block;
}

bool Allocator::deallocate(Ptr& ptr) {
  std::lock_guard<std::mutex> lock(mutex_);
  return deallocateLocked(ptr);
}

bool Allocator::deallocateLocked(Ptr& ptr) {
  trace("TRACE deallocate {%p, %u}", ptr.address, ptr.size);
  for (auto page = pages_.begin(); page != pages_.end(); ++page) {
    if (!page->deallocate(ptr)) continue;
    trace("deallocate from page{%p, %u}", page->address, page->size);
    if (page->isEmpty()) {
      VirtualFree(page->address, 0, MEM_RELEASE);
      pages_.erase(page);
      trace("remove empty page");
    } else {
      std::memset(ptr.address, Breakpoint, ptr.size);
    }
    trace("remove ptr{%p, %u}", ptr.address, ptr.size);
    ptr = {};
    return true;
  }
  trace("ptr not from this allocator");
  return false;
}

bool Allocator::reallocate(Ptr& ptr, unsigned newSize) {
  std::lock_guard<std::mutex> lock(mutex_);
  trace("TRACE page reallocate {%p, %u -> %u}", ptr.address, ptr.size, newSize);
  if (newSize == 0) return false;  // a block of no bytes could never be given back
  Page* home = nullptr;
  for (Page& page : pages_)
    if (ptr.address && page.contains(ptr)) home = &page;
  if (!home) {
    trace("ptr not from this allocator");
    return false;
  }
  if (home->reallocate(ptr, newSize)) {
    trace("expand ptr in current page");
    return true;
  }
  Ptr moved = allocateLocked(newSize);
  if (!moved.address) {
    trace("Can't allocate new page");
    return false;
  }
  std::memcpy(moved.address, ptr.address, ptr.size < newSize ? ptr.size : newSize);
  deallocateLocked(ptr);
  ptr = moved;
  trace("Move data to new ptr{%p, %u}", moved.address, moved.size);
  return true;
}

void Allocator::trace(const char* format, ...) const {
  if (!TraceEnabled) return;
  char message[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  writeLog(true, "Allocator{%p, %u}: %s", static_cast<const void*>(this),
           static_cast<unsigned>(pages_.size()), message);
}

}  // namespace KelHook
