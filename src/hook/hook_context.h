#pragma once
// What a hook's callbacks are given: the registers at the patched address, the place execution
// resumes at, and where the callbacks may run.
#include <cstdint>

namespace KelHook {

// The general registers (and the flags, when the hook saves them) as the stub saw them.
// `esp` is the stack pointer at the patched address. The stub addresses each field absolutely.
struct CPU {
  std::uint32_t eax;
  std::uint32_t ecx;
  std::uint32_t edx;
  std::uint32_t ebx;
  std::uint32_t esp;
  std::uint32_t ebp;
  std::uint32_t esi;
  std::uint32_t edi;
  std::uint32_t eflags;
};

struct Info {
  CPU* cpu;
  std::uint32_t* returnAddress;
  bool skip;  // set by a before-callback to skip the hooked instructions
};

// Memory the callbacks run on; {nullptr, 0} keeps them on the host's stack.
struct Stack {
  void* base;
  std::uint32_t size;
};

}  // namespace KelHook
