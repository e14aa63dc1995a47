#pragma once
// What both hook classes do to the code they patch: find it, keep a copy of its bytes, obtain
// and fill the stub's block, write the 5-byte call into the stub, and put the bytes back.
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hook/allocator.h"
#include "hook/hook_stub_writer.h"
#include "hook/hook_stubs.h"

namespace KelHook {

// A hook's state: what its stub or its owner is doing right now. Written only by whoever holds
// the hook's gate.
struct HookState {
  enum : std::uint32_t { Idle = 0, Before = 1, After = 2, Installing = 3, Removing = 4 };
};

// Who holds a hook: a pass from its stub's entry to its exit (the hooked instructions
// included), an install or a remove. Only the owner's passes run the hook, and they take it with
// plain stores; install and remove take it with a compare-exchange and, from another thread,
// look at the owner to see that no pass of it is about to hold it too (hook_stubs.h). So one
// thread at a time holds it; a pass that finds it held, or that is another thread's, is a busy
// pass.
struct HookGate {
  static constexpr std::uint32_t HeldByPass = 1, HeldBySite = 2;
  std::atomic<std::uint32_t> taken{0};          // 0 free, HeldByPass, HeldBySite
  std::atomic<std::uint32_t> holder{0};         // the thread of the install or remove that holds it
  std::atomic<std::uint32_t> owner{0};          // the thread whose passes run the hook; 0 before any
  std::atomic<std::uint32_t> foreignPasses{0};  // passes of other threads (the hooked code alone)
};

class PatchSite {
 public:
  static constexpr int PatchSize = 5;  // E8 rel32

  enum class Removal { Refused, Restored, CompatibilityStub };

  // `logging` is the owner's switch for its messages.
  PatchSite(const bool& logging, std::uint32_t address, int size, std::string_view module);
  // Frees the saved bytes; gives the block back unless the patch (or a compatibility stub)
  // may still lead into it.
  ~PatchSite();
  PatchSite(const PatchSite&) = delete;
  PatchSite& operator=(const PatchSite&) = delete;

  // Refused while installed; otherwise drops the saved bytes and the block.
  bool change(std::uint32_t address, int size, std::string_view module);

  // On the first install after construction or a change: resolves the target, takes the size
  // from the instruction length table when it is -1 and `sizeFromTable`, saves the bytes.
  // Then writes the stub with `write` into a block of at least `blockSize(size)` bytes (a
  // fresh, larger one when the stub needs more) and, unless already installed, patches the
  // target. A live stub is never rewritten: another one goes to a fresh block and the old block
  // is given back (freed once no busy pass is inside it).
  // False, with nothing patched, when the module is not loaded, the size is below 5, or no
  // block can be had; a stub that is already live is then left as it was.
  // Refused (false) while the gate is held; `state` is Installing meanwhile.
  bool install(HookGate& gate, std::atomic<std::uint32_t>& state, bool sizeFromTable,
               const std::function<std::uint32_t(int size)>& blockSize,
               const std::function<void(StubWriter&)>& write);

  // Waits a bounded while for a pass that holds the gate (in its callbacks or its hooked
  // instructions), then puts the saved bytes back, or, when another patch now covers ours,
  // turns the block into a stub that only runs the hooked instructions with the given cells
  // (allocated here when null), since the other patch may have kept a copy of our call; the
  // hook then stays installed. Refused while a pass still holds the gate.
  Removal remove(HookGate& gate, std::atomic<std::uint32_t>& state, std::uint32_t*& eaxCell,
                 std::uint32_t*& returnCell);

  // remove() for an owner that is going away: as long as another thread that still runs holds
  // the gate, it waits for that pass to end, since the pass will come back to the stub and
  // the owner's memory. A hook held by the calling thread itself (destroyed from its own
  // callback) or by a thread that has ended is not waited for.
  Removal removeForGood(HookGate& gate, std::atomic<std::uint32_t>& state,
                        std::uint32_t*& eaxCell, std::uint32_t*& returnCell);

  // Busy passes counted inside the stub's block now; 0 without a block.
  std::uint32_t threadsInside() const;

  // For an owner that is going away while its remove was refused: the block becomes a
  // compatibility stub with the given cells (allocated here when null), so that no pass can
  // reach the owner any more; block and cells stay for good.
  void abandon(std::uint32_t*& eaxCell, std::uint32_t*& returnCell);

  // The instructions the patch replaced, for a stub to copy.
  HookedCode hookedCode() const { return {savedBytes_, size_, target_}; }

  void logV(const char* format, va_list args) const;
  void log(const char* format, ...) const;

  std::uint32_t address() const { return address_; }
  int size() const { return size_; }
  const std::string& module() const { return module_; }
  bool installed() const { return installed_; }
  std::uint32_t target() const { return target_; }
  const std::uint8_t* savedBytes() const { return savedBytes_; }
  std::uint32_t codeLength() const { return codeLength_; }
  const Ptr& code() const { return code_; }

 private:
  bool build(bool sizeFromTable, const std::function<std::uint32_t(int size)>& blockSize,
             const std::function<void(StubWriter&)>& write);
  bool take(HookGate& gate) const;
  // Whether a thread stopped at `eip` with `ecx` is a pass about to hold the hook (entryWindow),
  // in the stub's block or a block it had before.
  bool passAboutToHold(std::uint32_t eip, std::uint32_t ecx, const EntryWindow& window) const;
  static void giveBack(HookGate& gate);
  bool saveOriginal(bool sizeFromTable);
  bool patchIsOurs() const;
  void restore();
  void leaveCompatibilityStub(std::uint32_t* eaxCell, std::uint32_t* returnCell);
  bool moveToFreshBlock(std::uint32_t size);
  std::vector<std::uint8_t> buildStub(const std::function<void(StubWriter&)>& write,
                                      std::uint32_t length) const;
  bool blockHolds(const std::vector<std::uint8_t>& stub) const;
  void writePatch();
  void releaseBlock();

  const bool& logging_;
  std::uint32_t address_;
  int size_;
  std::string module_;
  std::uint32_t target_ = 0;
  std::uint8_t* savedBytes_ = nullptr;
  std::uint32_t codeLength_ = 0;
  Ptr code_;
  // Where blocks this site gave back began: the owner may still stand in one's entry.
  std::vector<std::uint32_t> formerBlocks_;
  bool installed_ = false;
};

}  // namespace KelHook
