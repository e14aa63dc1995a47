#pragma once
// The three stubs the hooks generate: the generic hook's, the fast hook's, and the
// compatibility stub a removed hook leaves behind when another patch sits over its own.
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

struct GenericStub {
  std::uint32_t hook;  // `this` for before and after
  const void* state;   // the hook's 32-bit state: 0 idle, 1 before-callbacks running
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
  std::uint32_t* busyEax;     // cells for a pass entered while the hook is busy, whose caller
  std::uint32_t* busyReturn;  // is not the patch itself (another patch's copy of our call)
  // before / after are called only when their list has slots or the hook logs.
  const void* logging;      // bool
  const void* beforeCount;  // 32-bit slot counts
  const void* afterCount;
};

struct FastStub {
  std::uint32_t hook;
  std::uint32_t before;
  std::uint32_t after;
  std::uint32_t* returnCell;
  HookedCode hooked;
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

// One byte more than the longest stub of each kind, for a patch of `size` bytes (the generic
// stub holds the hooked instructions three times: its own pass and two kinds of busy pass).
constexpr std::uint32_t genericBlockSize(int size, bool passArgument) {
  return 3 * static_cast<std::uint32_t>(size) + (passArgument ? 465 : 439);
}
constexpr std::uint32_t fastBlockSize(int size) { return static_cast<std::uint32_t>(size) + 74; }

}  // namespace KelHook
