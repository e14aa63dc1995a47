#pragma once
// The generic hook: a 5-byte call at the patched address leads into a generated stub that saves
// the registers into the hook, runs the before-callbacks, the patched instructions (unless a
// callback skips them) and the after-callbacks, and returns where `returnAddress` says.
// Hook<> callbacks see the registers; Hook<RwRaster*> callbacks also get the 32-bit stack slot
// at the patched address by reference.
//
// The stub embeds the addresses of the hook and its fields: once installed, a hook is never
// moved or copied.
//
// Threads. The hook runs on one thread: its owner, the first thread that passes the site (a
// game runs its code on one thread). A pass of any other thread runs the hooked instructions
// alone, counted in gate.foreignPasses and logged at remove: no callback ever runs on a second
// thread, and no pass of the owner pays for a locked instruction. One pass at a time holds the
// hook, from the stub's entry to its exit, the hooked instructions included. A pass that comes
// while the hook is held (a pass driven by the hook's own callbacks, an install or a remove)
// runs the hooked instructions alone, without callbacks and without touching the hook object;
// the register record is one pass's. install and remove may be called from any thread; they
// are refused while a pass holds the hook (remove waits a bounded while first); the destructor
// waits for a pass of another thread to end, since that pass comes back to the hook. Callbacks
// may connect and disconnect callbacks; they must not destroy their own hook. Hooked
// instructions must come back to the stub or leave it by their first instruction's jmp or jcc:
// a ret or an indirect jump among them would leave the hook held, and every later pass busy.
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "hook/hook_callback.h"
#include "hook/hook_context.h"
#include "hook/calling_convention.h"
#include "hook/hook_site.h"
#include "hook/hook_stubs.h"
#include "hook/member_address.h"

struct RwRaster;

namespace KelHook {

template <class... Args>
class Hook {
  static_assert(sizeof...(Args) <= 1, "a hook hands its callbacks at most one stack slot");
  static_assert(((sizeof(Args) == 4) && ...), "the hooked argument is one 32-bit stack slot");

 public:
  using CallbackList = Callback<Hook, Args&...>;

  // Nothing is patched until install(). A size of -1 is taken from the first instruction.
  Hook(unsigned address, int size, std::string_view module = {})
      : site_(logging, address, size, module) {}
  // One call or jump with a 32-bit displacement.
  explicit Hook(unsigned address, std::string_view module = {}) : Hook(address, 5, module) {}

  // Removes the hook. When a compatibility stub stays, its block and cells stay allocated for
  // whoever still jumps into them; when removal is refused, the stub becomes a compatibility
  // stub all the same, so that nothing leads into the destroyed hook.
  virtual ~Hook() {
    if (site_.removeForGood(gate, state, compatEax, compatReturn) == PatchSite::Removal::Refused &&
        site_.installed())
      site_.abandon(compatEax, compatReturn);
    // A busy pass through another patch's copy of our call may still use the cells.
    if (!site_.installed() && site_.threadsInside() == 0) freeCompatibilityCells();
  }

  Hook(const Hook&) = delete;
  Hook& operator=(const Hook&) = delete;

  virtual bool isInstalled() const { return site_.installed(); }

  // Refused while installed; the next install finds the code and saves its bytes anew.
  virtual bool change(unsigned address, int size, std::string_view module) {
    return site_.change(address, size, module);
  }
  virtual bool change(unsigned address, std::string_view module) {
    return change(address, -1, module);
  }
  virtual bool changeAddress(unsigned address) {
    return change(address, site_.size(), site_.module());
  }
  virtual bool changeSize(int size) { return change(site_.address(), size, site_.module()); }
  virtual bool changeModule(std::string_view module) {
    return change(site_.address(), site_.size(), module);
  }

  virtual unsigned getAddress() const { return site_.address(); }
  virtual int getSize() const { return site_.size(); }
  virtual std::string_view getModule() const { return site_.module(); }

  // Only a before-callback can skip the hooked instructions.
  virtual bool skipOriginal() {
    if (state.load() != HookState::Before) return false;
    skip = true;
    return true;
  }

  // Where execution resumes after this pass.
  virtual void changeReturnAddress(unsigned address) { returnAddress = address; }

  // Builds the stub and, the first time, patches the code. Installing a hook that is installed
  // already only rebuilds the stub. The hooked argument of before/after is the stack slot at
  // cpu.esp + beforeArgOffset / afterArgOffset. `saveFlags` carries EFLAGS through `cpu`.
  virtual bool install(int beforeArgOffset = 0, int afterArgOffset = 0, bool saveFlags = false,
                       const Stack& stack = {nullptr, 0}) {
    if (!compatEax) compatEax = new std::uint32_t(0);
    if (!compatReturn) compatReturn = new std::uint32_t(0);
    const GenericStub layout{addressOf(this),
                             {&gate.taken, &gate.owner, &gate.foreignPasses},
                             resolveMember(this, &Hook::before).function,
                             resolveMember(this, &Hook::after).function,
                             &cpu,
                             &returnAddress,
                             {},
                             saveFlags,
                             addressOf(stack.base) + stack.size,
                             sizeof...(Args) != 0,
                             beforeArgOffset,
                             afterArgOffset,
                             compatEax,
                             compatReturn,
                             &logging,
                             &onBefore.slotCount(),
                             &onAfter.slotCount()};
    const bool passArgument = layout.passArgument;
    return site_.install(gate, state, true,
                         [passArgument](int size) { return genericBlockSize(size, passArgument); },
                         [&](StubWriter& w) {
                           GenericStub stub = layout;
                           stub.hooked = site_.hookedCode();
                           writeGenericStub(w, stub);
                         });
  }

  // Puts the saved bytes back. When another patch now covers this one, the stub becomes one
  // that only runs the hooked instructions (no callbacks, no reference to the hook), since the
  // other patch may have kept a copy of our call; the hook then stays installed.
  virtual bool remove() {
    // The cells stay until the hook dies: a thread still in the stub may use them, and the next
    // install then writes the very same stub over it.
    return site_.remove(gate, state, compatEax, compatReturn) != PatchSite::Removal::Refused;
  }

  // One line in the engine log, prefixed with the address and size (and module), when
  // `logging` is on.
  void log(const char* format, ...) const {
    if (!logging || !format) return;
    va_list args;
    va_start(args, format);
    site_.logV(format, args);
    va_end(args);
  }

  // Called by the stub only, which holds the hook, and only when onBefore has slots or the hook
  // logs (the same for after). Returns the skip decision in all of EAX.
  std::uint32_t KEL_THISCALL before(Args&... args) {
    state.store(HookState::Before, std::memory_order_relaxed);
    skip = false;
    if (logging) log("call before");
    Info info{&cpu, &returnAddress, false};
    onBefore(this, &info, &args...);
    if (info.skip) skip = true;
    if (skip && logging) log("skip original code");
    state.store(HookState::Idle, std::memory_order_relaxed);
    return skip ? 1 : 0;
  }

  void KEL_THISCALL after(Args&... args) {
    state.store(HookState::After, std::memory_order_relaxed);
    if (logging) log("call after");
    Info info{&cpu, &returnAddress, false};
    onAfter(this, &info, &args...);
    if (logging) log("return to %08X", returnAddress);
    state.store(HookState::Idle, std::memory_order_relaxed);
  }

  // The patched site: target, saved bytes, stub block.
  const PatchSite& site() const { return site_; }

  bool logging = false;
  CallbackList onBefore;
  CallbackList onAfter;
  CPU cpu{};
  bool skip = false;
  std::atomic<std::uint32_t> state{HookState::Idle};
  HookGate gate;
  // The cells of a busy pass called through another patch's copy of our call, and of the
  // compatibility stub.
  std::uint32_t* compatEax = nullptr;
  std::uint32_t* compatReturn = nullptr;
  std::uint32_t returnAddress = 0;

 private:
  static std::uint32_t addressOf(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
  }

  void freeCompatibilityCells() {
    delete compatEax;
    delete compatReturn;
    compatEax = compatReturn = nullptr;
  }

  PatchSite site_;
};

}  // namespace KelHook
