#include "hook/hook_site.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "hook/engine_log.h"
#include "hook/hook_code_memory.h"
#include "hook/instruction_length.h"
#include "hook/memory.h"

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

bool PatchSite::obtainBlock(std::uint32_t blockSize, std::uint32_t needed) {
  CodeMemory& memory = codeMemory();
  if (!code_.address) {
    code_ = memory.allocate(blockSize);
    if (!code_.address) {
      code_ = {};
      log("Can't allocate memory for code");
      return false;
    }
  }
  // The stub needs one byte to spare, as the block sizes are reckoned.
  while (code_.size <= needed) {
    if (!memory.reallocate(code_, code_.size * 2)) {
      log("Can't reallocate memory for code");
      return false;
    }
  }
  return true;
}

bool PatchSite::install(std::atomic<std::uint32_t>& state, bool sizeFromTable,
                        std::uint32_t blockSize, const std::function<void(StubWriter&)>& write) {
  std::uint32_t idle = HookState::Idle;
  if (!state.compare_exchange_strong(idle, HookState::Installing)) return false;
  const bool built = build(sizeFromTable, blockSize, write);
  state.store(HookState::Idle, std::memory_order_release);
  if (built) log("install to %08X", target_);
  return built;
}

PatchSite::Removal PatchSite::remove(std::atomic<std::uint32_t>& state, std::uint32_t*& eaxCell,
                                     std::uint32_t*& returnCell) {
  constexpr int readings = 1002;
  for (int reading = 1; reading < readings; ++reading) {
    const std::uint32_t now = state.load();
    if (now != HookState::Before && now != HookState::After) break;
  }
  std::uint32_t idle = HookState::Idle;
  if (!installed_ || !savedBytes_ || !code_.address) return Removal::Refused;
  if (!state.compare_exchange_strong(idle, HookState::Removing)) return Removal::Refused;
  if (patchIsOurs()) {
    restore();
    settle(state);
    log("remove from %08X", target_);
    return Removal::Restored;
  }
  if (!eaxCell) eaxCell = new std::uint32_t(0);
  if (!returnCell) returnCell = new std::uint32_t(0);
  leaveCompatibilityStub(eaxCell, returnCell);
  settle(state);
  log("remove from %08X (compatibility layer)", target_);
  return Removal::CompatibilityStub;
}

void PatchSite::settle(std::atomic<std::uint32_t>& state) {
  // A pass that read the state just before we set it may have taken it over; it gives it back
  // (Idle) when its callbacks are done, before it leaves the stub.
  constexpr int waits = 1000;
  for (int wait = 0; wait < waits; ++wait) {
    std::uint32_t removing = HookState::Removing;
    if (state.compare_exchange_strong(removing, HookState::Idle)) return;
    if (removing == HookState::Idle) return;
    Sleep(1);
  }
}

void PatchSite::abandon(std::uint32_t*& eaxCell, std::uint32_t*& returnCell) {
  if (!installed_ || !savedBytes_ || !code_.address) return;
  if (!eaxCell) eaxCell = new std::uint32_t(0);
  if (!returnCell) returnCell = new std::uint32_t(0);
  leaveCompatibilityStub(eaxCell, returnCell);
  log("abandoned at %08X: compatibility stub left", target_);
}

bool PatchSite::build(bool sizeFromTable, std::uint32_t blockSize,
                      const std::function<void(StubWriter&)>& write) {
  if (!savedBytes_ && !saveOriginal(sizeFromTable)) {
    if (!installed_) releaseBlock();
    return false;
  }

  StubWriter measure(nullptr, 0);
  write(measure);
  const void* before = code_.address;
  if (!obtainBlock(blockSize, measure.length())) {
    if (!installed_) releaseBlock();
    return false;
  }

  // Built aside first: a thread may still be running the stub that the block holds (a pass
  // past its hooked instructions leaves the hook idle, and a busy pass never marks it). The same
  // stub is left as it is. Another one goes to a fresh block and the old block is retired,
  // unless another patch has copied our call: that copy must keep leading to the block.
  std::vector<std::uint8_t> stub = buildStub(write, measure.length());
  const bool holdsAStub = codeLength_ != 0;
  const bool sameStub = holdsAStub && blockHolds(stub);
  const bool callCopiedElsewhere = installed_ && !patchIsOurs();
  if (holdsAStub && !sameStub && !callCopiedElsewhere) {
    CodeMemory& memory = codeMemory();
    Ptr fresh = memory.allocate(code_.size);
    if (!fresh.address) {
      log("Can't allocate memory for code");
      return false;
    }
    memory.deallocate(code_);
    code_ = fresh;
    stub = buildStub(write, measure.length());
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
  StubWriter writer(stub.data(), addressOf(code_.address));
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
