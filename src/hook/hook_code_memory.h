#pragma once
// Where hooks get their stub blocks: the process's code allocator, unless a test puts another
// source in its place to see how a hook copes when no block can be had.
#include "hook/allocator.h"

namespace KelHook {

class CodeMemory {
 public:
  virtual ~CodeMemory() = default;
  virtual Ptr allocate(unsigned size) = 0;
  virtual bool reallocate(Ptr& ptr, unsigned newSize) = 0;
  virtual bool deallocate(Ptr& ptr) = 0;
};

CodeMemory& codeMemory();
// nullptr puts the allocator back.
void setCodeMemory(CodeMemory* memory);

}  // namespace KelHook
