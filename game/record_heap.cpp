#include "game/record_heap.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace Standin {

namespace {
std::uintptr_t addressOf(const std::uint8_t* block) { return reinterpret_cast<std::uintptr_t>(block); }
}  // namespace

std::uint8_t* RecordHeap::allocate(std::size_t size) {
  std::vector<std::uint8_t*>& list = freeLists_[size];
  std::uint8_t* block = nullptr;
  if (!list.empty()) {
    block = list.back();
    list.pop_back();
    freed_.erase(addressOf(block));
    ++reused_;
  } else {
    block = static_cast<std::uint8_t*>(std::malloc(size));
    if (block == nullptr) std::abort();
    sizes_[addressOf(block)] = size;
  }
  std::memset(block, 0, size);
  return block;
}

void RecordHeap::release(std::uint8_t* block) {
  if (block == nullptr) return;
  const auto size = sizes_.find(addressOf(block));
  if (size == sizes_.end() || freed_.count(addressOf(block)))
    throw std::logic_error("the stand-in freed a record it does not hold");
  std::memset(block, Poison, size->second);
  freed_[addressOf(block)] = size->second;
  freeLists_[size->second].push_back(block);
}

bool RecordHeap::isFreed(std::uintptr_t address) const {
  auto after = freed_.upper_bound(address);
  if (after == freed_.begin()) return false;
  --after;
  return address < after->first + after->second;
}

}  // namespace Standin
