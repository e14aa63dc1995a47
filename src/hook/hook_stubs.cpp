#include "hook/hook_stubs.h"

namespace KelHook {

namespace {

// mov [cpu.ecx], ecx ... mov [cpu.edi], edi
void storeRegisters(StubWriter& w, CPU* cpu) {
  w.emit({0x89, 0x0D}, &cpu->ecx);
  w.emit({0x89, 0x15}, &cpu->edx);
  w.emit({0x89, 0x1D}, &cpu->ebx);
  w.emit({0x89, 0x25}, &cpu->esp);
  w.emit({0x89, 0x2D}, &cpu->ebp);
  w.emit({0x89, 0x35}, &cpu->esi);
  w.emit({0x89, 0x3D}, &cpu->edi);
}

// mov ecx, [cpu.ecx] ... mov edi, [cpu.edi]
void loadRegisters(StubWriter& w, CPU* cpu) {
  w.emit({0x8B, 0x0D}, &cpu->ecx);
  w.emit({0x8B, 0x15}, &cpu->edx);
  w.emit({0x8B, 0x1D}, &cpu->ebx);
  w.emit({0x8B, 0x25}, &cpu->esp);
  w.emit({0x8B, 0x2D}, &cpu->ebp);
  w.emit({0x8B, 0x35}, &cpu->esi);
  w.emit({0x8B, 0x3D}, &cpu->edi);
}

// mov edi, [cpu.edi] ... mov ecx, [cpu.ecx]: ESP comes back before the return is pushed
void loadRegistersReversed(StubWriter& w, CPU* cpu) {
  w.emit({0x8B, 0x3D}, &cpu->edi);
  w.emit({0x8B, 0x35}, &cpu->esi);
  w.emit({0x8B, 0x2D}, &cpu->ebp);
  w.emit({0x8B, 0x25}, &cpu->esp);
  w.emit({0x8B, 0x1D}, &cpu->ebx);
  w.emit({0x8B, 0x15}, &cpu->edx);
  w.emit({0x8B, 0x0D}, &cpu->ecx);
}

// mov edx, [cpu.esp]; add edx, offset; push edx
void pushStackSlotAddress(StubWriter& w, CPU* cpu, int offset) {
  w.emit({0x8B, 0x15}, &cpu->esp);
  w.emit({0x81, 0xC2}, static_cast<std::uint32_t>(offset));
  w.emit({0x52});
}

// movzx edx, byte [logging]; mov ecx, [count]; lea ecx, [ecx+edx]; jecxz (returned): no
// call needed. ECX and EDX are saved by then; the flags are left alone.
std::uint32_t jumpUnlessCallNeeded(StubWriter& w, const void* logging, const void* count) {
  w.emit({0x0F, 0xB6, 0x15}, logging);
  w.emit({0x8B, 0x0D}, count);
  w.emit({0x8D, 0x0C, 0x11});
  return w.shortForward(0xE3);
}

// cmp dword [count], 0; jne (returned - 9); cmp byte [logging], 0; jne (returned): both jumps
// lead to the call. For stubs that keep no flags.
std::uint32_t jumpIfSignalCallNeeded(StubWriter& w, const void* logging, const void* count) {
  w.emit({0x83, 0x3D}, count);
  w.emit({0x00});
  w.shortForward(0x75);
  w.emit({0x80, 0x3D}, logging);
  w.emit({0x00});
  return w.shortForward(0x75);
}

// cmp dword [count], 0; jne call; cmp byte [logging], 0; je (returned). The fast hook keeps no
// flags.
std::uint32_t jumpUnlessSignalCallNeeded(StubWriter& w, const void* logging, const void* count) {
  w.emit({0x83, 0x3D}, count);
  w.emit({0x00});
  const std::uint32_t call = w.shortForward(0x75);
  w.emit({0x80, 0x3D}, logging);
  w.emit({0x00});
  const std::uint32_t none = w.shortForward(0x74);
  w.bindShort(call);
  return none;
}

}  // namespace

// The state is read and set without touching the flags (jecxz branches on ECX alone), so the
// busy path runs the hooked instructions with the flags they were given.
void writeGenericStub(StubWriter& w, const GenericStub& s) {
  CPU* cpu = s.cpu;
  const bool privateStack = s.stackTop != 0;

  w.emit({0x51});                                                       // 0a push ecx
  w.emit({0x8B, 0x0D}, s.state);                                        // 0b mov ecx, [state]
  w.emit({0xE3, 0x06});                                                 // 0c jecxz 0f (idle)
  w.emit({0x59});                                                       // 0d pop ecx
  const std::uint32_t busyJump = w.jmpForward();                        // 0e jmp busy (a pass is running, or an install or remove)
  w.emit({0x59});                                                       // 0f pop ecx
  w.emit({0xC7, 0x05}, s.state);                                        // 0g mov [state], Before
  w.immediate(1);
  w.emit({0xA3}, &cpu->eax);                                            // 1  mov [cpu.eax], eax
  w.emit({0x58});                                                       // 2  pop eax (patch's return)
  w.emit({0xA3}, s.returnAddress);                                      // 3  mov [returnAddress], eax
  storeRegisters(w, cpu);                                               // 4  mov [cpu.ecx..edi], ecx..edi
  if (s.saveFlags) w.emit({0x9C, 0x58, 0xA3}, &cpu->eflags);            // 5  pushfd; pop eax; mov [cpu.eflags], eax
  const std::uint32_t noBefore =
      jumpUnlessCallNeeded(w, s.logging, s.beforeCount);                // 5a no before-callbacks: to row 12
  if (privateStack) w.emit({0xBC}, s.stackTop);                         // 6  mov esp, stack top
  if (s.passArgument) pushStackSlotAddress(w, cpu, s.beforeArgOffset);  // 7  push cpu.esp + offset
  w.emit({0xB9}, s.hook);                                               // 8  mov ecx, this
  w.call(s.before);                                                     // 9  call before
  w.emit({0x85, 0xC0});                                                 // 10 test eax, eax
  const std::uint32_t skipJump = w.jnzForward();                        // 11 jnz row 18a (skip)
  w.bindShort(noBefore);
  if (s.saveFlags) w.emit({0xA1}, &cpu->eflags, {0x50, 0x9D});          // 12 mov eax, [cpu.eflags]; push eax; popfd
  w.emit({0xA1}, &cpu->eax);                                            // 13 mov eax, [cpu.eax]
  loadRegisters(w, cpu);                                                // 14 mov ecx..edi, [cpu.ecx..edi]
  w.emit({0xC7, 0x05}, s.state);                                        // 14a mov [state], Idle: a copy that
  w.immediate(0);                                                       //     leaves the stub leaves the hook idle
  w.copyRelocated(s.hooked.bytes, s.hooked.size, s.hooked.origin);      // 15 the hooked instructions
  if (!s.saveFlags) {
    // Nothing to call after: the registers are right as they are (the flags are not kept).
    const std::uint32_t callAfter = jumpIfSignalCallNeeded(w, s.logging, s.afterCount);  // 15a
    w.emit({0xFF, 0x35}, s.returnAddress);                              // 15b push dword [returnAddress]
    w.emit({0xC3});                                                     // 15c ret
    for (std::uint32_t jump : {callAfter, callAfter - 9}) w.bindShort(jump);
  }
  w.emit({0xA3}, &cpu->eax);                                            // 16 mov [cpu.eax], eax
  storeRegisters(w, cpu);                                               // 17 mov [cpu.ecx..edi], ecx..edi
  if (s.saveFlags) w.emit({0x9C, 0x58, 0xA3}, &cpu->eflags);            // 18 pushfd; pop eax; mov [cpu.eflags], eax
  w.bind(skipJump);                                                     // (row 11 lands here)
  const std::uint32_t noAfter =
      jumpUnlessCallNeeded(w, s.logging, s.afterCount);                 // 18a no after-callbacks: to 22b
  if (privateStack) w.emit({0xBC}, s.stackTop);                         // 19 mov esp, stack top
  if (s.passArgument) pushStackSlotAddress(w, cpu, s.afterArgOffset);   // 20 push cpu.esp + offset
  w.emit({0xB9}, s.hook);                                               // 21 mov ecx, this
  w.call(s.after);                                                      // 22 call after
  const std::uint32_t afterDone = w.shortForward(0xEB);                 // 22a jmp row 23
  w.bindShort(noAfter);
  w.emit({0xC7, 0x05}, s.state);                                        // 22b mov [state], Idle (as after would)
  w.immediate(0);
  w.bindShort(afterDone);
  if (s.saveFlags) w.emit({0xA1}, &cpu->eflags, {0x50, 0x9D});          // 23 mov eax, [cpu.eflags]; push eax; popfd
  loadRegistersReversed(w, cpu);                                        // 24 mov edi..ecx, [cpu.edi..ecx]
  w.emit({0xA1}, s.returnAddress, {0x50}); // 25 mov eax, [returnAddress]; push eax
  w.emit({0xA1}, &cpu->eax);                                            // 26 mov eax, [cpu.eax]
  w.emit({0xC3});                                                       // 27 ret

  // A busy pass runs the hooked instructions alone and touches nothing of the hook's own pass.
  w.bind(busyJump);
  const std::uint32_t after = s.hooked.origin + 5;  // the patch's return address
  w.emit({0x51});                                                       // b1 push ecx
  w.emit({0x8B, 0x4C, 0x24, 0x04});                                     // b2 mov ecx, [esp+4] (return address)
  w.emit({0x8D, 0x89}, 0u - after);                                     // b3 lea ecx, [ecx - (target+5)]
  w.emit({0xE3, 0x06});                                                 // b4 jecxz b7 (called by the patch)
  w.emit({0x59});                                                       // b5 pop ecx
  const std::uint32_t foreignJump = w.jmpForward();                     // b6 jmp b11
  w.emit({0x59});                                                       // b7 pop ecx
  w.emit({0x8D, 0x64, 0x24, 0x04});                                     // b8 lea esp, [esp+4] (drop the return address)
  w.copyRelocated(s.hooked.bytes, s.hooked.size, s.hooked.origin);      // b9 the hooked instructions
  w.jmp(s.hooked.origin + static_cast<std::uint32_t>(s.hooked.size));  // b10 jmp target+size
  w.bind(foreignJump);                                                  // b11 through the cells
  writeCompatibilityStub(w, {s.busyEax, s.busyReturn, s.hooked});
}

namespace {

// The fast hook's call of before or after, passed by when the signal has no slots and the hook
// does not log.
void callWithRegistersKept(StubWriter& w, const FastStub& s, const void* count, std::uint32_t function) {
  const std::uint32_t none = jumpUnlessSignalCallNeeded(w, s.logging, count);  // no slots: on
  w.emit({0x60});                                                             // pushad
  w.emit({0xB9}, s.hook);                                                     // mov ecx, this
  w.call(function);                                                           // call before / after
  w.emit({0x61});                                                             // popad
  w.bindShort(none);
}

}  // namespace

void writeFastStub(StubWriter& w, const FastStub& s) {
  w.emit({0x8F, 0x05}, s.returnCell);                                   // 1 pop dword [returnCell] (patch's return)
  callWithRegistersKept(w, s, s.beforeCount, s.before);                 // 2 before, when needed
  w.copyRelocated(s.hooked.bytes, s.hooked.size, s.hooked.origin);      // 3 the hooked instructions
  callWithRegistersKept(w, s, s.afterCount, s.after);                   // 4 after, when needed
  w.emit({0xFF, 0x35}, s.returnCell);                                   // 5 push dword [returnCell]
  w.emit({0xC3});                                                       // 6 ret
}

void writeCompatibilityStub(StubWriter& w, const CompatibilityStub& s) {
  w.emit({0xA3}, s.eaxCell);                                            // mov [eaxCell], eax
  w.emit({0x58});                                                       // pop eax (the caller's return)
  w.emit({0xA3}, s.returnCell);                                         // mov [returnCell], eax
  w.emit({0xA1}, s.eaxCell);                                            // mov eax, [eaxCell]
  w.copyRelocated(s.hooked.bytes, s.hooked.size, s.hooked.origin);      // the hooked instructions
  w.emit({0xA3}, s.eaxCell);                                            // mov [eaxCell], eax
  w.emit({0xA1}, s.returnCell);                                         // mov eax, [returnCell]
  w.emit({0x50});                                                       // push eax
  w.emit({0xA1}, s.eaxCell);                                            // mov eax, [eaxCell]
  w.emit({0xC3});                                                       // ret
}

}  // namespace KelHook
