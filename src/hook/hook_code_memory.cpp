#include "hook/hook_code_memory.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "hook/thread_positions.h"

namespace KelHook {

namespace {

// A stub block given back is freed only when no busy pass is counted inside it (a thread that
// found the hook busy may still be running the hooked instructions there: a call may last) and
// no thread's next instruction lies in it (one stopped where no count sees it).
class AllocatorMemory final : public CodeMemory {
 public:
  Ptr allocate(unsigned size) override {
    std::lock_guard<std::mutex> lock(guard_);
    freeEmptied();
    return Allocator::instance().allocate(size);
  }
  bool deallocate(Ptr& ptr) override {
    if (!ptr.address) return false;
    std::lock_guard<std::mutex> lock(guard_);
    retired_.push_back(ptr);
    ptr = Ptr{};
    freeEmptied();
    return true;
  }

 private:
  void freeEmptied() {
    const auto counted = [](const Ptr& block) {
      return threadsInside(block).load(std::memory_order_acquire) != 0;
    };
    if (std::all_of(retired_.begin(), retired_.end(), counted)) return;
    std::vector<std::uint32_t> positions;
    const bool known = otherThreadPositions(positions);
    const auto emptied = std::stable_partition(retired_.begin(), retired_.end(), [&](const Ptr& block) {
      const auto start = reinterpret_cast<std::uintptr_t>(block.address);
      const auto inside = [&](std::uint32_t eip) { return eip >= start && eip - start < block.size; };
      return !known || counted(block) || std::any_of(positions.begin(), positions.end(), inside);
    });
    for (auto block = emptied; block != retired_.end(); ++block) Allocator::instance().deallocate(*block);
    retired_.erase(emptied, retired_.end());
  }

  std::mutex guard_;
  std::vector<Ptr> retired_;
};

CodeMemory* replacement = nullptr;

std::uintptr_t countCell(const Ptr& block) {
  return (reinterpret_cast<std::uintptr_t>(block.address) + block.size - 4) & ~std::uintptr_t{3};
}

}  // namespace

CodeMemory& codeMemory() {
  // Never destroyed: hooks that are statics give their blocks back at exit.
  static AllocatorMemory* allocator = new AllocatorMemory;
  return replacement ? *replacement : *allocator;
}

void setCodeMemory(CodeMemory* memory) { replacement = memory; }

std::atomic<std::uint32_t>& threadsInside(const Ptr& block) {
  return *reinterpret_cast<std::atomic<std::uint32_t>*>(countCell(block));
}

std::uint32_t stubRoom(const Ptr& block) {
  return static_cast<std::uint32_t>(countCell(block) - reinterpret_cast<std::uintptr_t>(block.address));
}

}  // namespace KelHook
