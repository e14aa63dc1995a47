#include "hook/fast_hook.h"

#include "hook/hook_stubs.h"
#include "hook/member_address.h"

namespace KelHook::Fast {

namespace {

std::uint32_t addressOf(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

}  // namespace

Hook::Hook(unsigned address, std::string_view module) : site_(logging, address, 5, module) {}

Hook::~Hook() {
  // Refused: the stub becomes a compatibility stub all the same, so nothing leads here.
  if (site_.removeForGood(gate, state, eaxCell, returnCell) == PatchSite::Removal::Refused &&
      site_.installed())
    site_.abandon(eaxCell, returnCell);
  // With the bytes back and no busy pass inside, no stub can reach the cells any more.
  if (!site_.installed() && site_.threadsInside() == 0) {
    delete eaxCell;
    delete returnCell;
  }
}

bool Hook::isInstalled() const { return site_.installed(); }

bool Hook::change(unsigned address, int size, std::string_view module) {
  return site_.change(address, size, module);
}
bool Hook::change(unsigned address, std::string_view module) {
  return change(address, -1, module);
}
bool Hook::changeAddress(unsigned address) {
  return change(address, site_.size(), site_.module());
}
bool Hook::changeSize(int size) { return change(site_.address(), size, site_.module()); }
bool Hook::changeModule(std::string_view module) {
  return change(site_.address(), site_.size(), module);
}

unsigned Hook::getAddress() const { return site_.address(); }
int Hook::getSize() const { return site_.size(); }
std::string_view Hook::getModule() const { return site_.module(); }

bool Hook::install() {
  if (!eaxCell) eaxCell = new std::uint32_t(0);
  if (!returnCell) returnCell = new std::uint32_t(0);
  const FastStub layout{addressOf(this),
                        {&gate.taken, &gate.owner, &gate.foreignPasses},
                        resolveMember(this, &Hook::before).function,
                        resolveMember(this, &Hook::after).function,
                        &passReturn,
                        {},
                        eaxCell,
                        returnCell,
                        &logging,
                        &onBefore.slotCount(),
                        &onAfter.slotCount()};
  return site_.install(gate, state, false, fastBlockSize, [&](StubWriter& w) {
    FastStub stub = layout;
    stub.hooked = site_.hookedCode();
    writeFastStub(w, stub);
  });
}

bool Hook::remove() {
  // The cells stay: a compatibility stub keeps using them.
  return site_.remove(gate, state, eaxCell, returnCell) != PatchSite::Removal::Refused;
}

void Hook::log(const char* format, ...) const {
  if (!logging || !format) return;
  va_list args;
  va_start(args, format);
  site_.logV(format, args);
  va_end(args);
}

// Called by the stub only, which holds the hook.
void KEL_THISCALL Hook::before() {
  state.store(HookState::Before, std::memory_order_relaxed);
  if (logging) log("call before");
  onBefore();
  state.store(HookState::Idle, std::memory_order_relaxed);
}

void KEL_THISCALL Hook::after() {
  state.store(HookState::After, std::memory_order_relaxed);
  if (logging) log("call after");
  onAfter();
  state.store(HookState::Idle, std::memory_order_relaxed);
}

}  // namespace KelHook::Fast
