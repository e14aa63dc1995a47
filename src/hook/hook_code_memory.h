#pragma once
// Where hooks get their stub blocks: the process's code allocator, unless a test puts another
// source in its place to see how a hook copes when no block can be had.
#include <atomic>
#include <cstdint>

#include "hook/allocator.h"

namespace KelHook {

class CodeMemory {
 public:
  virtual ~CodeMemory() = default;
  virtual Ptr allocate(unsigned size) = 0;
  // Takes a block no patch leads to any more. It is freed (and filled with breakpoints) once
  // no busy pass is counted inside it and no other thread is about to execute in it: at once,
  // or at a later allocate or deallocate.
  virtual bool deallocate(Ptr& ptr) = 0;
};

CodeMemory& codeMemory();
// nullptr puts the allocator back.
void setCodeMemory(CodeMemory* memory);

// The count of the busy passes inside a stub block, which its stub keeps in the last aligned
// 32-bit cell of the block (blocks are sized with ThreadCountBytes to spare for it).
std::atomic<std::uint32_t>& threadsInside(const Ptr& block);
// How many bytes of the block a stub may fill.
std::uint32_t stubRoom(const Ptr& block);

}  // namespace KelHook
