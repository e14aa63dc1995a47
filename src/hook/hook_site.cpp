#include "hook/hook_site.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "hook/engine_log.h"
#include "hook/hook_code_memory.h"
#include "hook/instruction_length.h"
#include "hook/memory.h"
#include "hook/thread_positions.h"

namespace KelHook {

namespace {

// 0 when the module is not loaded.
std::uint32_t resolve(std::uint32_t address, const std::string& module) {
  if (module.empty()) return address;
  const auto handle = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(module.c_str()));
  if (handle == 0 || handle == 0xFFFFFFFFu) return 0;
  return address + static_cast<std::uint32_t>(handle);
}

void* at(std::uint32_t address) { return reinterpret_cast<void*>(std::uintptr_t{address}); }

std::uint32_t addressOf(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

}  // namespace

PatchSite::PatchSite(const bool& logging, std::uint32_t address, int size,
                     std::string_view module)
    : logging_(logging), address_(address), size_(size), module_(module) {}

PatchSite::~PatchSite() {
  delete[] savedBytes_;
  if (!installed_) releaseBlock();
}

void PatchSite::releaseBlock() {
  if (code_.address) codeMemory().deallocate(code_);
  code_ = {};
  codeLength_ = 0;
}

bool PatchSite::change(std::uint32_t address, int size, std::string_view module) {
  if (installed_) return false;
  delete[] savedBytes_;
  savedBytes_ = nullptr;
  releaseBlock();
  address_ = address;
  size_ = size;
  module_ = std::string(module);
  return true;
}

bool PatchSite::saveOriginal(bool sizeFromTable) {
  const std::uint32_t target = resolve(address_, module_);
  if (target == 0) return false;
  int size = size_;
  if (size == -1 && sizeFromTable) {
    std::uint8_t first[LongestTableInstruction];
    const unsigned readable = readableCodeBytes(at(target), sizeof first);
    size = readable && readCode(first, at(target), readable) ? instructionLength(first, readable) : 0;
  }
  // The call is 5 bytes long; a smaller size would overwrite bytes that are not saved.
  if (size < PatchSize) return false;
  auto* saved = new std::uint8_t[size];
  if (!readCode(saved, at(target), static_cast<unsigned>(size))) {
    delete[] saved;
    return false;
  }
  target_ = target;
  size_ = size;
  savedBytes_ = saved;
  return true;
}

bool PatchSite::take(HookGate& gate) const {
  std::uint32_t free = 0;
  if (!gate.taken.compare_exchange_strong(free, HookGate::HeldBySite)) return false;
  gate.holder.store(GetCurrentThreadId(), std::memory_order_relaxed);
  // The owner's passes take the gate with plain stores: one may have read it free just before.
  // Without an owner none can have: the first pass claims with a locked instruction, then reads.
  const std::uint32_t owner = gate.owner.load();
  if (owner == 0 || owner == GetCurrentThreadId()) return true;
  const EntryWindow window = entryWindow();
  bool held = false;
  const ThreadLook look = lookAtStoppedThread(owner, [&](std::uint32_t eip, std::uint32_t ecx) {
    if (gate.taken.load() != HookGate::HeldBySite) {
      held = true;  // its store came over ours: the pass holds the hook
      gate.holder.store(0, std::memory_order_relaxed);
    } else if (passAboutToHold(eip, ecx, window)) {
      held = true;
      giveBack(gate);  // before it runs on and stores its hold
    }
  });
  if (look == ThreadLook::Failed) giveBack(gate);  // not known: as if held
  return !held && look != ThreadLook::Failed;
}

bool PatchSite::passAboutToHold(std::uint32_t eip, std::uint32_t ecx, const EntryWindow& window) const {
  const auto inEntryOf = [&](std::uint32_t block) {
    return (eip == block + window.readFree && ecx == 0) || eip == block + window.store;
  };
  if (code_.address && inEntryOf(addressOf(code_.address))) return true;
  for (const std::uint32_t block : formerBlocks_)
    if (inEntryOf(block)) return true;
  return false;
}

void PatchSite::giveBack(HookGate& gate) {
  gate.holder.store(0, std::memory_order_relaxed);
  gate.taken.store(0, std::memory_order_release);
}

bool PatchSite::install(HookGate& gate, std::atomic<std::uint32_t>& state, bool sizeFromTable,
                        const std::function<std::uint32_t(int size)>& blockSize,
                        const std::function<void(StubWriter&)>& write) {
  if (!take(gate)) return false;
  state.store(HookState::Installing, std::memory_order_relaxed);
  const bool built = build(sizeFromTable, blockSize, write);
  state.store(HookState::Idle, std::memory_order_relaxed);
  giveBack(gate);
  if (built) log("install to %08X", target_);
  return built;
}

PatchSite::Removal PatchSite::remove(HookGate& gate, std::atomic<std::uint32_t>& state,
                                     std::uint32_t*& eaxCell, std::uint32_t*& returnCell) {
  constexpr int readings = 1002;
  for (int reading = 1; reading < readings && gate.taken.load() != 0; ++reading) {
  }
  if (!installed_ || !savedBytes_ || !code_.address) return Removal::Refused;
  if (!take(gate)) return Removal::Refused;
  state.store(HookState::Removing, std::memory_order_relaxed);
  Removal removal = Removal::Restored;
  if (patchIsOurs()) {
    restore();
    log("remove from %08X", target_);
  } else {
    if (!eaxCell) eaxCell = new std::uint32_t(0);
    if (!returnCell) returnCell = new std::uint32_t(0);
    leaveCompatibilityStub(eaxCell, returnCell);
    log("remove from %08X (compatibility layer)", target_);
    removal = Removal::CompatibilityStub;
  }
  if (const std::uint32_t foreign = gate.foreignPasses.load())
    log("%u passes of threads other than %u ran the hooked instructions alone", static_cast<unsigned>(foreign),
        static_cast<unsigned>(gate.owner.load()));
  state.store(HookState::Idle, std::memory_order_relaxed);
  giveBack(gate);
  return removal;
}

namespace {

bool threadRuns(std::uint32_t id) {
  HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
  if (!thread) return false;
  const bool runs = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
  CloseHandle(thread);
  return runs;
}

}  // namespace

PatchSite::Removal PatchSite::removeForGood(HookGate& gate, std::atomic<std::uint32_t>& state,
                                            std::uint32_t*& eaxCell, std::uint32_t*& returnCell) {
  // A holder not yet named is an install or remove that has just taken the gate: it names
  // itself at once.
  constexpr int unnamedWaits = 1000;
  // Free again but refused: given back meanwhile, or the owner was about to hold it, or could
  // not be looked at; a thread that can never be looked at must not keep the owner here.
  constexpr int refusedWhileFree = 1000;
  bool logged = false;
  for (int unnamed = 0, free = 0;;) {
    const Removal removal = remove(gate, state, eaxCell, returnCell);
    if (removal != Removal::Refused || !installed_) return removal;
    const std::uint32_t taken = gate.taken.load();
    if (taken == 0) {
      if (++free > refusedWhileFree) return removal;
      if (free > 10) Sleep(0);
      continue;
    }
    const std::uint32_t holder = taken == HookGate::HeldByPass ? gate.owner.load() : gate.holder.load();
    if (holder == 0 && ++unnamed > unnamedWaits) return removal;
    if (holder != 0 && (holder == GetCurrentThreadId() || !threadRuns(holder))) return removal;
    if (!logged) log("waiting for the pass of thread %u to end", static_cast<unsigned>(holder));
    logged = true;
    Sleep(1);
  }
}

std::uint32_t PatchSite::threadsInside() const {
  return code_.address ? KelHook::threadsInside(code_).load() : 0;
}

void PatchSite::abandon(std::uint32_t*& eaxCell, std::uint32_t*& returnCell) {
  if (!installed_ || !savedBytes_ || !code_.address) return;
  if (!eaxCell) eaxCell = new std::uint32_t(0);
  if (!returnCell) returnCell = new std::uint32_t(0);
  leaveCompatibilityStub(eaxCell, returnCell);
  log("abandoned at %08X: compatibility stub left", target_);
}

bool PatchSite::moveToFreshBlock(std::uint32_t size) {
  Ptr fresh = codeMemory().allocate(alignedBlockSize(size));
  if (!fresh.address) return false;
  KelHook::threadsInside(fresh).store(0);
  if (code_.address) {
    formerBlocks_.push_back(addressOf(code_.address));
    codeMemory().deallocate(code_);
  }
  code_ = fresh;
  codeLength_ = 0;
  return true;
}

bool PatchSite::build(bool sizeFromTable, const std::function<std::uint32_t(int size)>& blockSize,
                      const std::function<void(StubWriter&)>& write) {
  if (!savedBytes_ && !saveOriginal(sizeFromTable)) {
    if (!installed_) releaseBlock();
    return false;
  }

  StubWriter measure(nullptr, 0);
  write(measure);
  const std::uint32_t needed = measure.length();
  const void* before = code_.address;
  if (!code_.address) {
    const std::uint32_t size = blockSize(size_);
    if (!moveToFreshBlock(size > needed + ThreadCountBytes ? size : needed + ThreadCountBytes)) {
      log("Can't allocate memory for code");
      return false;
    }
  }

  // Built aside first: a thread may still be running the stub that the block holds (a busy
  // pass). The same stub is left as it is. Another one goes to a fresh block and the old block
  // is given back, unless another patch has copied our call: that copy must keep leading to
  // the block, which is then rewritten where it is.
  std::vector<std::uint8_t> stub = buildStub(write, needed);
  const bool sameStub = codeLength_ != 0 && blockHolds(stub);
  const bool fits = needed <= stubRoom(code_);
  const bool callCopiedElsewhere = installed_ && !patchIsOurs();
  if (!sameStub && (codeLength_ != 0 || !fits)) {
    std::uint32_t size = code_.size;
    while (size < needed + ThreadCountBytes) size *= 2;
    if (callCopiedElsewhere ? !fits : !moveToFreshBlock(size)) {
      log("Can't reallocate memory for code");
      if (!installed_) releaseBlock();
      return false;
    }
    stub = buildStub(write, needed);
  }
  if (!sameStub) {
    std::memcpy(code_.address, stub.data(), stub.size());
    flushCode(code_);
  }
  codeLength_ = static_cast<std::uint32_t>(stub.size());

  // A live patch follows its stub when it moved.
  if (!installed_ || code_.address != before) writePatch();
  installed_ = true;
  return true;
}

std::vector<std::uint8_t> PatchSite::buildStub(const std::function<void(StubWriter&)>& write,
                                               std::uint32_t length) const {
  std::vector<std::uint8_t> stub(length);
  StubWriter writer(stub.data(), addressOf(code_.address), &KelHook::threadsInside(code_));
  write(writer);
  return stub;
}

bool PatchSite::blockHolds(const std::vector<std::uint8_t>& stub) const {
  return codeLength_ == stub.size() && std::memcmp(code_.address, stub.data(), stub.size()) == 0;
}

void PatchSite::writePatch() {
  // Built whole first and written in one copy: a thread running the site never meets half a
  // call.
  std::vector<std::uint8_t> patch(static_cast<std::size_t>(size_), 0x90);
  const std::uint32_t displacement = addressOf(code_.address) - (target_ + PatchSize);
  patch[0] = 0xE8;
  std::memcpy(&patch[1], &displacement, 4);
  copyCode(at(target_), patch);
}

bool PatchSite::patchIsOurs() const {
  if (readByte(std::uintptr_t{target_}) != 0xE8) return false;
  const std::uint32_t displacement = readDword(std::uintptr_t{target_ + 1});
  return target_ + displacement + PatchSize == addressOf(code_.address);
}

void PatchSite::restore() {
  copyCode(at(target_), savedBytes_, static_cast<unsigned>(size_));
  flushCode(at(target_), static_cast<unsigned>(size_));
  installed_ = false;
}

void PatchSite::leaveCompatibilityStub(std::uint32_t* eaxCell, std::uint32_t* returnCell) {
  StubWriter stub(static_cast<std::uint8_t*>(code_.address), addressOf(code_.address));
  writeCompatibilityStub(stub, {eaxCell, returnCell, hookedCode()});
  codeLength_ = stub.length();
  flushCode(code_);
}

void PatchSite::logV(const char* format, va_list args) const {
  writeHookLog(address_, size_, module_, format, args);
}

void PatchSite::log(const char* format, ...) const {
  if (!logging_ || !format) return;
  va_list args;
  va_start(args, format);
  logV(format, args);
  va_end(args);
}

}  // namespace KelHook
