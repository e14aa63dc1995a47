#pragma once
// The game's record memory as RenderWare keeps it: texture records, rasters and palette records
// that are freed go onto a free list of their size and the next one made takes the last freed, at
// the same address, for whatever texture comes next. Freed memory is filled with a fixed pattern
// until it is reused, so that whoever still reads it sees nonsense (in the trace and in the
// pixels) rather than the old values; it is never given back to the system, so a stale read
// never faults and every freed block can be told from a live one.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace Standin {

class RecordHeap {
 public:
  static constexpr std::uint8_t Poison = 0xDD;

  RecordHeap() = default;
  RecordHeap(const RecordHeap&) = delete;
  RecordHeap& operator=(const RecordHeap&) = delete;

  // A zeroed block: the last freed of this size, or a new one.
  std::uint8_t* allocate(std::size_t size);
  // Poisons the block and puts it on its free list; null is ignored.
  void release(std::uint8_t* block);
  // Whether the address lies inside a block that is free now.
  bool isFreed(std::uintptr_t address) const;

  std::size_t blocksMade() const { return sizes_.size(); }
  std::size_t blocksReused() const { return reused_; }

 private:
  std::map<std::size_t, std::vector<std::uint8_t*>> freeLists_;  // by size, last freed at the back
  std::map<std::uintptr_t, std::size_t> sizes_;                  // every block ever made
  std::map<std::uintptr_t, std::size_t> freed_;                  // the free ones, by address
  std::size_t reused_ = 0;
};

}  // namespace Standin
