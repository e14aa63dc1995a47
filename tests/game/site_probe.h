#pragma once
// Stops the game once at a code address (int3) and keeps the registers and the top of the stack
// it had there; the game's byte is put back and execution goes on as if nothing happened.
#include <windows.h>

#include <cstdint>
#include <map>

struct SiteRegisters {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, esi = 0, edi = 0, esp = 0;
  std::uint32_t stackTop = 0;
  bool hit = false;
};

class SiteProbe {
 public:
  SiteProbe() { handler_ = AddVectoredExceptionHandler(1, &SiteProbe::onException); }
  ~SiteProbe() {
    for (auto& [address, probe] : probes()) restore(address, probe.original);
    probes().clear();
    RemoveVectoredExceptionHandler(handler_);
  }
  void arm(std::uint32_t address) {
    auto* code = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
    probes()[address] = Probe{*code, {}};
    restore(address, 0xCC);
  }
  SiteRegisters at(std::uint32_t address) const {
    auto it = probes().find(address);
    return it == probes().end() ? SiteRegisters{} : it->second.registers;
  }

 private:
  struct Probe {
    std::uint8_t original;
    SiteRegisters registers;
  };
  static std::map<std::uint32_t, Probe>& probes() {
    static std::map<std::uint32_t, Probe> all;
    return all;
  }
  static void restore(std::uint32_t address, std::uint8_t byte) {
    DWORD old;
    auto* code = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
    VirtualProtect(code, 1, PAGE_EXECUTE_READWRITE, &old);
    *code = byte;
    VirtualProtect(code, 1, old, &old);
    FlushInstructionCache(GetCurrentProcess(), code, 1);
  }
  static LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT) return EXCEPTION_CONTINUE_SEARCH;
    auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(info->ExceptionRecord->ExceptionAddress));
    auto it = probes().find(address);
    if (it == probes().end()) it = probes().find(--address);  // some systems report the byte after int3
    if (it == probes().end() || it->second.registers.hit) return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* c = info->ContextRecord;
    SiteRegisters& r = it->second.registers;
    r = {c->Eax, c->Ebx, c->Ecx, c->Edx, c->Esi, c->Edi, c->Esp,
         *reinterpret_cast<std::uint32_t*>(static_cast<std::uintptr_t>(c->Esp)), true};
    restore(address, it->second.original);
    c->Eip = address;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  void* handler_ = nullptr;
};
