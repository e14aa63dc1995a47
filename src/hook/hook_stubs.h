#pragma once
// The three stubs the hooks generate: the generic hook's, the fast hook's, and the
// compatibility stub a removed hook leaves behind when another patch sits over its own.
//
// The generic and the fast stub are held by one thread at a time: a pass takes the hook's
// `taken` cell with xchg (atomic, flags untouched) at its entry and gives it back at its exit,
// after the hooked instructions and the after-callbacks, or just before a first hooked jmp or
// jcc leaves the stub. A pass that finds the hook taken (another thread's pass, a pass driven
// by the hook's own callbacks, an install or a remove) is a busy pass: it runs the hooked
// instructions alone, touching nothing of the hook object, and is counted in the block's
// threads-inside cell (`StubWriter::threadsInside`) so that the block outlives it.
#include <cstdint>

#include "hook/hook_context.h"
#include "hook/hook_stub_writer.h"

namespace KelHook {

// The instructions a stub runs in place of the patched ones.
struct HookedCode {
  const std::uint8_t* bytes;
  int size;
  std::uint32_t origin;  // where they were copied from
};

// The hook's cells a stub takes and gives back (32-bit each).
struct HookCells {
  const void* taken;   // 0 free, 1 held
  const void* holder;  // the holding thread's id
};

struct GenericStub {
  std::uint32_t hook;  // `this` for before and after
  HookCells cells;
  std::uint32_t before;
  std::uint32_t after;
  CPU* cpu;
  std::uint32_t* returnAddress;
  HookedCode hooked;
  bool saveFlags;
  std::uint32_t stackTop;  // 0: callbacks run on the host's stack
  bool passArgument;       // push the address of a stack slot for before/after
  int beforeArgOffset;
  int afterArgOffset;
  std::uint32_t* busyEax;     // cells for a busy pass whose caller is not the patch itself
  std::uint32_t* busyReturn;  // (another patch's copy of our call)
  // before / after are called only when their list has slots or the hook logs.
  const void* logging;      // bool
  const void* beforeCount;  // 32-bit slot counts
  const void* afterCount;
};

struct FastStub {
  std::uint32_t hook;
  HookCells cells;
  std::uint32_t before;
  std::uint32_t after;
  std::uint32_t* passReturn;  // the patch's return address during the held pass
  HookedCode hooked;
  std::uint32_t* busyEax;     // as in GenericStub; also the compatibility stub's cells
  std::uint32_t* busyReturn;
  // before / after are called only when their signal has slots or the hook logs.
  const void* logging;      // bool
  const void* beforeCount;  // 32-bit slot counts
  const void* afterCount;
};

struct CompatibilityStub {
  std::uint32_t* eaxCell;
  std::uint32_t* returnCell;
  HookedCode hooked;
};

void writeGenericStub(StubWriter& w, const GenericStub& stub);
void writeFastStub(StubWriter& w, const FastStub& stub);
void writeCompatibilityStub(StubWriter& w, const CompatibilityStub& stub);

// A block holds its stub and, in its last aligned four of these bytes, the count of the busy
// passes inside it.
constexpr std::uint32_t ThreadCountBytes = 8;

// The longest stub of each kind, for a patch of `size` bytes, and the count (the generic stub
// holds the hooked instructions three times: its own pass and two kinds of busy pass).
constexpr std::uint32_t genericBlockSize(int size, bool passArgument) {
  return 3 * static_cast<std::uint32_t>(size) + (passArgument ? 525 : 499) + ThreadCountBytes;
}
constexpr std::uint32_t fastBlockSize(int size) {
  return 3 * static_cast<std::uint32_t>(size) + 269 + ThreadCountBytes;
}

}  // namespace KelHook
