#include "hook/ccall_hook.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "hook/code_buffer.h"
#include "hook/memory.h"
#include "hook/relocation.h"

using namespace KelHook;

namespace {
constexpr std::uint8_t NopByte = 0x90;
}

CCallHook::CCallHook(std::uint32_t address, std::uint32_t length, std::uint32_t argCount,
                     std::uint32_t placement, std::uint32_t flags, std::uint32_t callMode)
    : savedBytes(nullptr),
      length(length),
      argCount(argCount),
      address(address),
      placement(placement),
      callMode(argCount == 0 ? callMode : 0),
      flags(flags),
      code(new CodeBuffer(1)),
      copyPosition(address) {
  savedBytes = static_cast<std::uint8_t*>(std::malloc(length + 1));
  std::memset(savedBytes, 0, length + 1);
  readCode(savedBytes, reinterpret_cast<const void*>(address), length);

  if (placement == After) {
    // Nothing would run after a jump: the callback goes first instead.
    if (savedBytes[0] == 0xE9)
      this->placement = Before;
    else
      emitCopyHere();
  }
  callbackStart = code->getLength();
  fillCallbackArea();
  if (this->placement == Replace) {
    // Without a callback the diverted instructions run.
    code->setLength(callbackStart);
    emitCopyHere();
    code->setLength(callbackStart + callbackAreaSize());
  }
  if (this->placement == Before) emitCopyHere();
  if (this->callMode == 1)
    code->ret();
  else
    code->jmp(address + length);

  // The patch: the call or jump into the stub, nops over the rest of the site, built whole
  // and written in one copy so that a thread running the site never meets half of it.
  std::vector<std::uint8_t> patch(length < 5 ? 5 : length, NopByte);
  const std::uint32_t displacement =
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(code->getBuffer())) -
      (address + 5);
  patch[0] = this->callMode == 1 ? 0xE8 : 0xE9;
  std::memcpy(&patch[1], &displacement, 4);
  copyCode(reinterpret_cast<void*>(std::uintptr_t{address}), patch);
}

CCallHook::~CCallHook() { clearCallback(); }

std::uint32_t CCallHook::callbackAreaSize() const {
  const std::uint32_t base = length + 114 > 119 ? length + 114 : 119;
  return base + 8 * argCount;
}

void CCallHook::fillCallbackArea() {
  code->setLength(callbackStart);
  for (std::uint32_t i = 0; i < callbackAreaSize(); ++i) code->nop();
}

void CCallHook::emitCopyHere() {
  // The copy is relocated in place, from wherever it was last meant to run.
  relocateFirstInstruction(savedBytes, length, copyPosition, code->position());
  copyPosition = code->position();
  code->emit(savedBytes, length);
}

void CCallHook::clearCallback() {
  fillCallbackArea();
  if (placement == Replace) {
    code->setLength(callbackStart);
    emitCopyHere();
  }
  code->setLength(callbackStart + callbackAreaSize());
  flushCode(code->getBuffer(), code->getMaxLength());
}

void CCallHook::setCallback() {
  isMethod = 1;
  writeCallback();
}

void CCallHook::setPlainCallback(const void* plain) {
  function = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(plain));
  isMethod = 0;
  writeCallback();
}

void CCallHook::writeCallback() {
  if (!function || (isMethod && !object)) {
    clearCallback();
    return;
  }
  fillCallbackArea();
  code->setLength(callbackStart);
  CodeBuffer& out = *code;
  auto slot = [this](Register r) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&registers[r]));
  };
  static constexpr Register order[] = {EAX, ECX, EDX, EBX, ESP, EBP, ESI, EDI};
  for (Register r : order) out.movToMemory(slot(r), r);  // all eight into `registers`
  if (flags & SaveRegisters) out.pushad();
  if (flags & SaveFlags) out.pushfd();
  if (!isMethod) out.nop();
  out.push(EAX);
  // Distance from ESP to the hooked function's first stack argument at this point.
  std::uint32_t distance = argBase + ((flags & SaveRegisters) ? 36 : 4) +
                           ((flags & SaveFlags) ? 4 : 0) + (callMode == 1 ? 4 : 0);
  for (std::uint32_t n = argCount; n-- > 0;) {
    out.movReg(EAX, ESP);               // mov eax, esp
    out.addImm(EAX, distance + 4 * n);  // add eax, offset of argument n
    out.push(EAX);                      // push its address
    distance += 4;
  }
  if (isMethod) out.movImm(ECX, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(object)));
  out.call(function);
  out.pop(EAX);
  if (flags & SaveFlags) out.popfd();
  if (flags & SaveRegisters) out.popad();
  // All eight back; ESP too, which drops whatever the callback code left on the stack.
  for (Register r : order) out.movFromMemory(r, slot(r));
  code->setLength(callbackStart + callbackAreaSize());
  flushCode(code->getBuffer(), code->getMaxLength());
}
