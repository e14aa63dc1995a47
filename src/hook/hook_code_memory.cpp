#include "hook/hook_code_memory.h"

namespace KelHook {

namespace {

class AllocatorMemory final : public CodeMemory {
 public:
  Ptr allocate(unsigned size) override { return Allocator::instance().allocate(size); }
  bool reallocate(Ptr& ptr, unsigned newSize) override {
    return Allocator::instance().reallocate(ptr, newSize);
  }
  bool deallocate(Ptr& ptr) override { return Allocator::instance().deallocate(ptr); }
};

CodeMemory* replacement = nullptr;

}  // namespace

CodeMemory& codeMemory() {
  static AllocatorMemory allocator;
  return replacement ? *replacement : allocator;
}

void setCodeMemory(CodeMemory* memory) { replacement = memory; }

}  // namespace KelHook
