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

// A hook's state: what its stub or its owner is doing right now.
struct HookState {
  enum : std::uint32_t { Idle = 0, Before = 1, After = 2, Installing = 3, Removing = 4 };
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
  // Then writes the stub with `write` into a block of at least `blockSize` bytes (grown by
  // doubling when the stub needs more) and, unless already installed, patches the target.
  // False, with nothing patched, when the module is not loaded, the size is below 5, or no
  // block can be had; a stub that is already live is then left as it was.
  // Refused (false) unless `state` is Idle; `state` is Installing meanwhile.
  bool install(std::atomic<std::uint32_t>& state, bool sizeFromTable, std::uint32_t blockSize,
               const std::function<void(StubWriter&)>& write);

  // Waits a bounded while for running callbacks, then puts the saved bytes back, or, when
  // another patch now covers ours, turns the block into a stub that only runs the hooked
  // instructions with the given cells (allocated here when null), since the other patch may
  // have kept a copy of our call; the hook then stays installed.
  Removal remove(std::atomic<std::uint32_t>& state, std::uint32_t*& eaxCell,
                 std::uint32_t*& returnCell);

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
  bool build(bool sizeFromTable, std::uint32_t blockSize,
             const std::function<void(StubWriter&)>& write);
  bool saveOriginal(bool sizeFromTable);
  bool patchIsOurs() const;
  void restore();
  void settle(std::atomic<std::uint32_t>& state);
  void leaveCompatibilityStub(std::uint32_t* eaxCell, std::uint32_t* returnCell);
  bool obtainBlock(std::uint32_t blockSize, std::uint32_t needed);
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
  bool installed_ = false;
};

}  // namespace KelHook
