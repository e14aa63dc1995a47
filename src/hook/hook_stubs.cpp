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

// Where a pass goes when it cannot hold the hook.
struct EntryJumps {
  std::uint32_t claim;  // not the owner's pass (rows k1-k9)
  std::uint32_t busy;   // the owner's pass, the hook held already
};

// Takes the hook for the owner's pass, touching no flag and with no locked instruction: only
// the owner's passes take it this way, so no other pass races the store; an install or remove
// of another thread stops the owner to see whether it has read the cell free and not yet
// stored (at t12 or t15: entryWindow; `window`, when given, gets where they are).
EntryJumps takeHook(StubWriter& w, const HookCells& cells, EntryWindow* window = nullptr) {
  const std::uint32_t start = w.here();
  EntryJumps jumps{};
  w.emit({0x51});                                                       // t1 push ecx
  w.emit({0x52});                                                       // t2 push edx
  w.emit({0x64, 0x8B, 0x0D}, 0x24u);                                    // t3 mov ecx, fs:[0x24] (this thread's id)
  w.emit({0x8B, 0x15}, cells.owner);                                    // t4 mov edx, [owner]
  w.emit({0xF7, 0xD2});                                                 // t5 not edx
  w.emit({0x8D, 0x4C, 0x11, 0x01});                                     // t6 lea ecx, [ecx+edx+1] (id - owner)
  w.emit({0x5A});                                                       // t7 pop edx
  w.emit({0xE3, 0x06});                                                 // t8 jecxz t11 (the owner's pass)
  w.emit({0x59});                                                       // t9 pop ecx
  jumps.claim = w.jmpForward();                                         // t10 jmp k1
  w.emit({0x8B, 0x0D}, cells.taken);                                    // t11 mov ecx, [taken]
  if (window) window->readFree = w.here() - start;
  w.emit({0xE3, 0x06});                                                 // t12 jecxz t15 (free)
  w.emit({0x59});                                                       // t13 pop ecx
  jumps.busy = w.jmpForward();                                          // t14 jmp busy pass
  if (window) window->store = w.here() - start;
  w.emit({0xC7, 0x05}, cells.taken);                                    // t15 mov dword [taken], 1
  w.immediate(1);
  w.emit({0x59});                                                       // t16 pop ecx
  return jumps;
}

// A pass of a thread that is not the owner: the first pass of all makes its thread the owner and
// enters again; any other runs the hooked instructions alone (the busy pass written next),
// counted in `foreign`.
void writeClaim(StubWriter& w, const HookCells& cells, std::uint32_t entry) {
  w.emit({0x9C, 0x50, 0x51});                                           // k1 pushfd; push eax; push ecx
  w.emit({0x64, 0x8B, 0x0D}, 0x24u);                                    // k2 mov ecx, fs:[0x24]
  w.emit({0x31, 0xC0});                                                 // k3 xor eax, eax
  w.emit({0xF0, 0x0F, 0xB1, 0x0D}, cells.owner);                        // k4 lock cmpxchg [owner], ecx
  const std::uint32_t foreign = w.shortForward(0x75);                   // k5 jne k8 (another thread owns it)
  w.emit({0x59, 0x58, 0x9D});                                           // k6 pop ecx; pop eax; popfd
  w.jmp(entry);                                                         // k7 jmp t1 (as the owner now)
  w.bindShort(foreign);
  w.emit({0xF0, 0xFF, 0x05}, cells.foreign);                            // k8 lock inc dword [foreign]
  w.emit({0x59, 0x58, 0x9D});                                           // k9 pop ecx; pop eax; popfd
}

// Gives the hook back with a plain store, which x86 keeps after every read of the hook before
// it.
void giveBack(StubWriter& w, const HookCells& cells) {
  w.emit({0xC7, 0x05}, cells.taken);                                    // g1 mov [taken], 0
  w.immediate(0);
}

// pushfd; lock inc/dec dword [threadsInside]; popfd
void countBusyPass(StubWriter& w, bool entering) {
  w.emit({0x9C, 0xF0, 0xFF, static_cast<std::uint8_t>(entering ? 0x05 : 0x0D)}, w.threadsInside(),
         {0x9D});
}

// Where a first hooked jmp or jcc that leaves the stub goes: `rows` first, then on.
template <class Rows>
void writeDeparture(StubWriter& w, const Departure& departure, Rows rows) {
  if (departure.jumpEnd == 0) return;
  w.bind(departure.jumpEnd);
  rows();
  w.jmp(departure.destination);
}

void writeCompatibilityPass(StubWriter& w, const CompatibilityStub& s, bool counted) {
  w.emit({0xA3}, s.eaxCell);                                            // c1 mov [eaxCell], eax
  w.emit({0x58});                                                       // c2 pop eax (the caller's return)
  w.emit({0xA3}, s.returnCell);                                         // c3 mov [returnCell], eax
  w.emit({0xA1}, s.eaxCell);                                            // c4 mov eax, [eaxCell]
  const Departure leave =
      w.copyRelocated(s.hooked.bytes, s.hooked.size, s.hooked.origin);  // c5 the hooked instructions
  w.emit({0xA3}, s.eaxCell);                                            // c6 mov [eaxCell], eax
  w.emit({0xA1}, s.returnCell);                                         // c7 mov eax, [returnCell]
  w.emit({0x50});                                                       // c8 push eax
  w.emit({0xA1}, s.eaxCell);                                            // c9 mov eax, [eaxCell]
  if (counted) countBusyPass(w, false);                                 // c10 pushfd; lock dec [inside]; popfd
  w.emit({0xC3});                                                       // c11 ret
  writeDeparture(w, leave, [&] {                                        // c12 (c5 jumps away:) c10, then on
    if (counted) countBusyPass(w, false);
  });
}

// A busy pass runs the hooked instructions alone and touches nothing of the hook object.
void writeBusyPass(StubWriter& w, const HookedCode& hooked, std::uint32_t* eaxCell,
                   std::uint32_t* returnCell) {
  const std::uint32_t after = hooked.origin + 5;  // the patch's return address
  countBusyPass(w, true);                                               // b0 pushfd; lock inc [inside]; popfd
  w.emit({0x51});                                                       // b1 push ecx
  w.emit({0x8B, 0x4C, 0x24, 0x04});                                     // b2 mov ecx, [esp+4] (return address)
  w.emit({0x8D, 0x89}, 0u - after);                                     // b3 lea ecx, [ecx - (target+5)]
  w.emit({0xE3, 0x06});                                                 // b4 jecxz b7 (called by the patch)
  w.emit({0x59});                                                       // b5 pop ecx
  const std::uint32_t foreignJump = w.jmpForward();                     // b6 jmp b11
  w.emit({0x59});                                                       // b7 pop ecx
  w.emit({0x8D, 0x64, 0x24, 0x04});                                     // b8 lea esp, [esp+4] (drop the return address)
  const Departure leave =
      w.copyRelocated(hooked.bytes, hooked.size, hooked.origin);        // b9 the hooked instructions
  countBusyPass(w, false);                                              // b10 pushfd; lock dec [inside]; popfd
  w.jmp(hooked.origin + static_cast<std::uint32_t>(hooked.size));       // b10a jmp target+size
  writeDeparture(w, leave, [&] { countBusyPass(w, false); });           // b10b (b9 jumps away:) b10, then on
  w.bind(foreignJump);                                                  // b11 through the cells
  writeCompatibilityPass(w, {eaxCell, returnCell, hooked}, true);
}

}  // namespace

// Taken at row 0, the hook stays held through the hooked instructions, so that no remove
// or install can happen while a thread is still to come back to the stub.
void writeGenericStub(StubWriter& w, const GenericStub& s) {
  CPU* cpu = s.cpu;
  const bool privateStack = s.stackTop != 0;

  const std::uint32_t entry = w.here();
  const EntryJumps entryJumps = takeHook(w, s.cells);                   // 0  t1-t16 take the hook, else claim or busy
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
  const Departure leave =
      w.copyRelocated(s.hooked.bytes, s.hooked.size, s.hooked.origin);  // 15 the hooked instructions
  if (!s.saveFlags) {
    // Nothing to call after: the registers are right as they are (the flags are not kept).
    const std::uint32_t callAfter = jumpIfSignalCallNeeded(w, s.logging, s.afterCount);  // 15a
    w.emit({0xFF, 0x35}, s.returnAddress);                              // 15b push dword [returnAddress]
    giveBack(w, s.cells);                                               // 15c g1 give the hook back
    w.emit({0xC3});                                                     // 15d ret
    for (std::uint32_t jump : {callAfter, callAfter - 9}) w.bindShort(jump);
  }
  w.emit({0xA3}, &cpu->eax);                                            // 16 mov [cpu.eax], eax
  storeRegisters(w, cpu);                                               // 17 mov [cpu.ecx..edi], ecx..edi
  if (s.saveFlags) w.emit({0x9C, 0x58, 0xA3}, &cpu->eflags);            // 18 pushfd; pop eax; mov [cpu.eflags], eax
  w.bind(skipJump);                                                     // (row 11 lands here)
  const std::uint32_t noAfter =
      jumpUnlessCallNeeded(w, s.logging, s.afterCount);                 // 18a no after-callbacks: to row 23
  if (privateStack) w.emit({0xBC}, s.stackTop);                         // 19 mov esp, stack top
  if (s.passArgument) pushStackSlotAddress(w, cpu, s.afterArgOffset);   // 20 push cpu.esp + offset
  w.emit({0xB9}, s.hook);                                               // 21 mov ecx, this
  w.call(s.after);                                                      // 22 call after
  w.bindShort(noAfter);
  if (s.saveFlags) w.emit({0xA1}, &cpu->eflags, {0x50, 0x9D});          // 23 mov eax, [cpu.eflags]; push eax; popfd
  loadRegistersReversed(w, cpu);                                        // 24 mov edi..ecx, [cpu.edi..ecx]
  w.emit({0xA1}, s.returnAddress, {0x50});                              // 25 mov eax, [returnAddress]; push eax
  w.emit({0xA1}, &cpu->eax);                                            // 26 mov eax, [cpu.eax]
  giveBack(w, s.cells);                                                 // 26a g1 give the hook back
  w.emit({0xC3});                                                       // 27 ret
  writeDeparture(w, leave, [&] { giveBack(w, s.cells); });              // 28 (row 15 jumps away:) 26a, then on

  w.bind(entryJumps.claim);                                             // k1-k9 claim, or a foreign pass:
  writeClaim(w, s.cells, entry);
  w.bind(entryJumps.busy);                                              // b0-b11
  writeBusyPass(w, s.hooked, s.busyEax, s.busyReturn);
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
  const std::uint32_t entry = w.here();
  const EntryJumps entryJumps = takeHook(w, s.cells);                   // 0 t1-t16 take the hook, else claim or busy
  w.emit({0x8F, 0x05}, s.passReturn);                                   // 1 pop dword [passReturn] (patch's return)
  callWithRegistersKept(w, s, s.beforeCount, s.before);                 // 2 before, when needed
  const Departure leave =
      w.copyRelocated(s.hooked.bytes, s.hooked.size, s.hooked.origin);  // 3 the hooked instructions
  callWithRegistersKept(w, s, s.afterCount, s.after);                   // 4 after, when needed
  w.emit({0xFF, 0x35}, s.passReturn);                                   // 5 push dword [passReturn]
  giveBack(w, s.cells);                                                 // 5a g1 give the hook back
  w.emit({0xC3});                                                       // 6 ret
  writeDeparture(w, leave, [&] { giveBack(w, s.cells); });              // 7 (row 3 jumps away:) 5a, then on

  w.bind(entryJumps.claim);                                             // k1-k9 claim, or a foreign pass:
  writeClaim(w, s.cells, entry);
  w.bind(entryJumps.busy);                                              // b0-b11
  writeBusyPass(w, s.hooked, s.busyEax, s.busyReturn);
}

void writeCompatibilityStub(StubWriter& w, const CompatibilityStub& s) {
  writeCompatibilityPass(w, s, false);
}

EntryWindow entryWindow() {
  EntryWindow window{};
  StubWriter measure(nullptr, 0);
  takeHook(measure, HookCells{}, &window);
  return window;
}

}  // namespace KelHook
