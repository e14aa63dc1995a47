#include "hook/hook_code_memory.h"

#include <chrono>
#include <deque>
#include <mutex>

namespace KelHook {

namespace {

// A stub block given back is only freed (and filled with breakpoints) a while later: another
// thread may have entered the stub just before its patch was taken away and still be running
// its last instructions.
constexpr std::chrono::milliseconds RetiredBlockGrace{2'000};

class AllocatorMemory final : public CodeMemory {
 public:
  Ptr allocate(unsigned size) override { return Allocator::instance().allocate(size); }
  bool reallocate(Ptr& ptr, unsigned newSize) override {
    return Allocator::instance().reallocate(ptr, newSize);
  }
  bool deallocate(Ptr& ptr) override {
    if (!ptr.address) return false;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(guard_);
    while (!retired_.empty() && now - retired_.front().since >= RetiredBlockGrace) {
      Allocator::instance().deallocate(retired_.front().block);
      retired_.pop_front();
    }
    retired_.push_back({ptr, now});
    ptr = Ptr{};
    return true;
  }

 private:
  struct Retired {
    Ptr block;
    std::chrono::steady_clock::time_point since;
  };
  std::mutex guard_;
  std::deque<Retired> retired_;
};

CodeMemory* replacement = nullptr;

}  // namespace

CodeMemory& codeMemory() {
  // Never destroyed: hooks that are statics give their blocks back at exit.
  static AllocatorMemory* allocator = new AllocatorMemory;
  return replacement ? *replacement : *allocator;
}

void setCodeMemory(CodeMemory* memory) { replacement = memory; }

}  // namespace KelHook
