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
  if (!remove() && site_.installed()) site_.abandon(eaxCell, returnCell);
  // With the bytes back no stub can reach the cells any more.
  if (!site_.installed()) {
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
  if (state.load() != HookState::Idle) return false;
  if (!eaxCell) eaxCell = new std::uint32_t(0);
  if (!returnCell) returnCell = new std::uint32_t(0);
  const FastStub layout{addressOf(this),
                        resolveMember(this, &Hook::before).function,
                        resolveMember(this, &Hook::after).function,
                        returnCell,
                        {},
                        &logging,
                        &onBefore.slotCount(),
                        &onAfter.slotCount()};
  return site_.install(state, false, fastBlockSize(site_.size()), [&](StubWriter& w) {
    FastStub stub = layout;
    stub.hooked = site_.hookedCode();
    writeFastStub(w, stub);
  });
}

bool Hook::remove() {
  // The cells stay: a compatibility stub keeps using them.
  return site_.remove(state, eaxCell, returnCell) != PatchSite::Removal::Refused;
}

void Hook::log(const char* format, ...) const {
  if (!logging || !format) return;
  va_list args;
  va_start(args, format);
  site_.logV(format, args);
  va_end(args);
}

// A pass that finds the hook busy (its slots running on this thread, or an install or remove
// under way) runs without slots. The hooked instructions run with the hook idle, so that one
// that leaves the stub leaves it usable.
void KEL_THISCALL Hook::before() {
  if (state.load(std::memory_order_acquire) != HookState::Idle) return;
  state.store(HookState::Before, std::memory_order_release);
  if (logging) log("call before");
  onBefore();
  state.store(HookState::Idle, std::memory_order_release);
}

void KEL_THISCALL Hook::after() {
  if (state.load(std::memory_order_acquire) != HookState::Idle) return;
  state.store(HookState::After, std::memory_order_release);
  if (logging) log("call after");
  onAfter();
  state.store(HookState::Idle, std::memory_order_release);
}

}  // namespace KelHook::Fast
