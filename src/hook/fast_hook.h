#pragma once
// The light hook: the same 5-byte call into a generated stub, but the stub keeps the registers
// with pushad/popad on the host's stack and the callbacks are the slots of two signals, which
// get nothing (no registers, no skipping, no flags kept, no change of the return address).
// The stub calls before or after only when its signal has slots or the hook logs, so a hook
// without slots costs little more than the hooked instructions. Like the generic hook, it is
// never moved once installed, it runs on its owner's thread only, and one pass at a time holds
// it, the hooked instructions included (see hook.h for what that means for threads, callbacks
// and hooked instructions): a pass that finds it held, or of another thread, runs the hooked
// instructions alone, without slots.
#include <atomic>
#include <cstdint>
#include <string_view>

#include "framework/kel_signal.h"
#include "hook/calling_convention.h"
#include "hook/hook_site.h"

namespace KelHook::Fast {

class Hook {
 public:
  explicit Hook(unsigned address, std::string_view module = {});
  // Removes the hook; a compatibility stub, if one stays, keeps its block and cells.
  virtual ~Hook();
  Hook(const Hook&) = delete;
  Hook& operator=(const Hook&) = delete;

  virtual bool isInstalled() const;
  virtual bool change(unsigned address, int size, std::string_view module);
  virtual bool change(unsigned address, std::string_view module);
  virtual bool changeAddress(unsigned address);
  virtual bool changeSize(int size);
  virtual bool changeModule(std::string_view module);
  virtual unsigned getAddress() const;
  virtual int getSize() const;
  virtual std::string_view getModule() const;
  // Fails for a size below 5 (-1 included: this hook has no instruction length table).
  virtual bool install();
  virtual bool remove();

  void log(const char* format, ...) const;

  // Called by the stub only.
  void KEL_THISCALL before();
  void KEL_THISCALL after();

  const PatchSite& site() const { return site_; }

  bool logging = false;
  OneEmitterSignal<> onBefore;
  OneEmitterSignal<> onAfter;
  std::atomic<std::uint32_t> state{HookState::Idle};
  HookGate gate;
  // EAX and the return address while a busy pass or a compatibility stub moves them; they
  // outlive a remove, since a compatibility stub keeps using them.
  std::uint32_t* eaxCell = nullptr;
  std::uint32_t* returnCell = nullptr;
  // The patch's return address during the pass that holds the hook.
  std::uint32_t passReturn = 0;

 private:
  PatchSite site_;
};

}  // namespace KelHook::Fast
