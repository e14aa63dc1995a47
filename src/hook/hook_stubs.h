#pragma once
// The three stubs the hooks generate: the generic hook's, the fast hook's, and the
// compatibility stub a removed hook leaves behind when another patch sits over its own.
//
// The generic and the fast stub run callbacks on one thread only, the hook's owner: the first
// thread that passes (its id goes to the `owner` cell with a locked compare-exchange, once). A
// pass of any other thread runs the hooked instructions alone and is counted in `foreign`. The
// owner's pass takes the hook's `taken` cell with plain loads and stores (no locked instruction
// on the way in: a game's thread passes thousands of times a frame) and gives it back at its
// exit, after the hooked instructions and the after-callbacks, or just before a first hooked jmp
// or jcc leaves the stub. An install or remove takes the cell with a compare-exchange; from
// another thread it then stops the owner to see whether its pass read the cell free just before
// (entryWindow). A pass that finds the hook taken (a pass driven by the hook's own
// callbacks, an install or a remove) or that is not the owner's is a busy pass: it runs the
// hooked instructions alone, touching nothing of the hook object, and is counted in the block's
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
  const void* taken;    // 0 free, else held (1 by the owner's pass)
  const void* owner;    // the id of the one thread whose passes run the hook; 0 before any pass
  const void* foreign;  // the passes of other threads
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

// Where, as offsets from a generic or fast stub's first byte, a pass of the owner has read the
// `taken` cell and not yet stored its hold: at `readFree` (the jecxz after the read) with ECX 0
// it found the cell free; at `store` it is about to store. A thread stopped at either holds the
// hook as soon as it runs on.
struct EntryWindow {
  std::uint32_t readFree;
  std::uint32_t store;
};
EntryWindow entryWindow();

// A block holds its stub and, in its last aligned four of these bytes, the count of the busy
// passes inside it.
constexpr std::uint32_t ThreadCountBytes = 8;

// Blocks are whole multiples of this, so that every stub begins on a 32-byte boundary: where its
// jumps fall, and so what a pass costs, is then the same for every hook (a pass cost up to a
// third more at some byte offsets than at others).
constexpr std::uint32_t StubAlignment = 32;
constexpr std::uint32_t alignedBlockSize(std::uint32_t bytes) {
  return (bytes + StubAlignment - 1) / StubAlignment * StubAlignment;
}

// The longest stub of each kind, for a patch of `size` bytes, and the count (the generic stub
// holds the hooked instructions three times: its own pass and two kinds of busy pass).
constexpr std::uint32_t genericBlockSize(int size, bool passArgument) {
  return 3 * static_cast<std::uint32_t>(size) + (passArgument ? 566 : 540) + ThreadCountBytes;
}
constexpr std::uint32_t fastBlockSize(int size) {
  return 3 * static_cast<std::uint32_t>(size) + 310 + ThreadCountBytes;
}

}  // namespace KelHook
