// CCallHook, tested by running the patched code: a routine loads known registers and flags,
// passes the hooked site and stores what arrives.
#include "hook/ccall_hook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "hook/code_buffer.h"
#include "site_routine.h"

namespace {

using hooktest::Landmarks;
using hooktest::Registers;
using hooktest::SiteRoutine;
using KelHook::CodeBuffer;

std::uint32_t addressOf(const void* p) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

// An instruction whose operand is the address of `cell`, e.g. inc dword [cell].
std::vector<std::uint8_t> withCell(std::initializer_list<std::uint8_t> opcode, const void* cell) {
  std::vector<std::uint8_t> bytes(opcode);
  const std::uint32_t address = addressOf(cell);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
  return bytes;
}

// A site and one pass through it.
struct Site {
  explicit Site(const SiteRoutine::SiteBytes& bytes) : routine(bytes) {}
  explicit Site(std::vector<std::uint8_t> bytes) : routine(std::move(bytes)) {}

  void run() { out = routine.run(in); }
  std::uint32_t address() const { return routine.site(); }

  // Every register (but those named in `changed`), ESP and the flags as they went in.
  void expectKept(std::initializer_list<std::uint32_t Registers::*> changed = {}) const {
    for (auto field : {&Registers::eax, &Registers::ecx, &Registers::edx, &Registers::ebx,
                       &Registers::ebp, &Registers::esi, &Registers::edi}) {
      if (std::find(changed.begin(), changed.end(), field) != changed.end()) continue;
      EXPECT_EQ(out.*field, in.*field);
    }
    EXPECT_EQ(out.esp, routine.siteEsp());
  }

  SiteRoutine routine;
  Registers in = hooktest::sampleRegisters();
  Registers out{};
};

// A site of 6 bytes that counts its passes: inc dword [counter].
struct Counter {
  std::uint32_t counter = 0;
};
struct CountingSite : Counter, Site {  // the counter exists before the site that names it
  CountingSite() : Site(withCell({0xFF, 0x05}, &counter)) {}
};

// Records each call: the registers the stub saved and the counter the site increments.
struct Probe {
  explicit Probe(CCallHook* hook = nullptr, const std::uint32_t* counter = nullptr)
      : hook(hook), counter(counter) {}

  CCallHook* hook;
  const std::uint32_t* counter;
  std::vector<std::uint32_t> counterSeen;
  std::uint32_t eaxSeen = 0;
  std::uint32_t esiSeen = 0;
  std::uint32_t newEax = 0;  // written into the saved registers when not 0

  void KEL_THISCALL onCall() {
    counterSeen.push_back(counter ? *counter : 0);
    eaxSeen = hook->registers[KelHook::EAX];
    esiSeen = hook->registers[KelHook::ESI];
    if (newEax) hook->registers[KelHook::EAX] = newEax;
  }
};

// Gets the addresses of two stack arguments and changes the first.
struct ArgumentProbe {
  std::uint32_t first = 0, second = 0;
  std::uint32_t firstAddress = 0, secondAddress = 0;
  void KEL_THISCALL onCall(std::uint32_t* a, std::uint32_t* b) {
    first = *a;
    second = *b;
    firstAddress = addressOf(a);
    secondAddress = addressOf(b);
    *a = 0x5000;
  }
};

TEST(CCallHook, EachPlacementRunsTheCallbackInItsPlace) {
  struct Case {
    std::uint32_t placement;
    std::uint32_t counterSeenByCallback;
    std::uint32_t countAfterPass;  // the diverted instruction ran or not
  };
  for (Case c : {Case{CCallHook::Before, 0, 1}, Case{CCallHook::After, 1, 1},
                 Case{CCallHook::Replace, 0, 0}}) {
    SCOPED_TRACE(c.placement);
    CountingSite s;
    CCallHook hook(s.address(), 6, 0, c.placement, 0, 0);

    // Without a callback the diverted instruction runs and nothing else changes.
    s.run();
    EXPECT_EQ(s.counter, 1u);
    s.expectKept();

    Probe probe(&hook, &s.counter);
    hook.setCallback(&probe, &Probe::onCall);
    s.counter = 0;
    s.run();
    ASSERT_EQ(probe.counterSeen.size(), 1u);
    EXPECT_EQ(probe.counterSeen[0], c.counterSeenByCallback);
    EXPECT_EQ(s.counter, c.countAfterPass);
    EXPECT_EQ(probe.eaxSeen, s.in.eax);
    EXPECT_EQ(probe.esiSeen, s.in.esi);
    s.expectKept();

    // After clearCallback only the diverted instruction runs, in every placement.
    hook.clearCallback();
    s.counter = 0;
    s.run();
    EXPECT_EQ(probe.counterSeen.size(), 1u);
    EXPECT_EQ(s.counter, 1u);
    s.expectKept();
  }
}

TEST(CCallHook, CallbackMayChangeTheRegistersThatExecutionGoesOnWith) {
  CountingSite s;
  CCallHook hook(s.address(), 6, 0, CCallHook::Before, CCallHook::SaveRegisters, 0);
  Probe probe(&hook, &s.counter);
  probe.newEax = 0xABCD1234;
  hook.setCallback(&probe, &Probe::onCall);
  s.run();
  EXPECT_EQ(s.out.eax, 0xABCD1234u);
  s.expectKept({&Registers::eax});
}

TEST(CCallHook, FlagBitsKeepTheFlagsAcrossTheCallback) {
  // The callback is C++ code that changes the flags freely; only pushfd/popfd keeps them. No
  // code leaves both patterns, so one of them fails if the flags are not kept.
  const std::uint32_t patterns[] = {hooktest::sampleRegisters().eflags, 0x202u | 0x4u};
  for (std::uint32_t flags : patterns) {
    SCOPED_TRACE(flags);
    std::uint32_t cell = 0;
    Site s(withCell({0x89, 0x0D}, &cell));  // mov [cell], ecx: leaves the flags alone
    s.in.eflags = flags;
    CCallHook hook(s.address(), 6, 2, CCallHook::Before,
                   CCallHook::SaveRegisters | CCallHook::SaveFlags, 0);
    // With two argument pointers, a callee that failed to remove them would make popfd load
    // one of them.
    ArgumentProbe probe;
    hook.setCallback(&probe, &ArgumentProbe::onCall);
    s.run();
    EXPECT_EQ(s.out.eflags & hooktest::comparedFlags, flags & hooktest::comparedFlags);
    EXPECT_EQ(cell, s.in.ecx);
    s.expectKept();
  }
}

TEST(CCallHook, CallModePatchesWithACallAndReturnsFromTheStub) {
  Site s(hooktest::addEax(0x100, 1));
  CCallHook hook(s.address(), 6, 0, CCallHook::Before, 3, 1);
  EXPECT_EQ(s.routine.siteBytes(1)[0], 0xE8);
  Probe probe(&hook);
  hook.setCallback(&probe, &Probe::onCall);
  s.run();
  EXPECT_EQ(probe.counterSeen.size(), 1u);
  EXPECT_EQ(probe.eaxSeen, s.in.eax);
  EXPECT_EQ(s.out.eax, s.in.eax + 0x100);
  s.expectKept({&Registers::eax});
}

TEST(CCallHook, JumpUnderAfterPlacementRunsTheCallbackFirst) {
  Site s([](const Landmarks& l) { return hooktest::jumpTo(l.site, l.jumpTarget); });
  CCallHook hook(s.address(), 5, 0, CCallHook::After, 0, 0);
  EXPECT_EQ(hook.placement, CCallHook::Before);
  Probe probe(&hook);
  hook.setCallback(&probe, &Probe::onCall);
  s.run();
  EXPECT_EQ(probe.counterSeen.size(), 1u);
  EXPECT_EQ(s.out.edx, hooktest::jumpMark);
  s.expectKept({&Registers::edx});
}

// A hooked function with two stack arguments that returns their sum; the caller passes
// 0x1111 and 0x2222.
struct TwoArgumentFunction {
  CodeBuffer code{1};
  std::uint8_t* function;
  std::uint8_t* caller;

  TwoArgumentFunction() {
    function = code.getBuffer();
    code.emit({0x8B, 0x44, 0x24, 0x04, 0x90});  // mov eax, [esp+4]; nop (the site)
    code.emit({0x8B, 0x54, 0x24, 0x08});        // mov edx, [esp+8]
    code.emit({0x01, 0xD0});                    // add eax, edx
    code.ret();
    caller = code.getBuffer() + code.getLength();
    code.emit({0x68, 0x22, 0x22, 0, 0});  // push 0x2222
    code.emit({0x68, 0x11, 0x11, 0, 0});  // push 0x1111
    code.call(addressOf(function));
    code.emit({0x83, 0xC4, 0x08});        // add esp, 8
    code.ret();
  }
  std::uint32_t run() { return reinterpret_cast<std::uint32_t (*)()>(caller)(); }
};

TEST(CCallHook, ArgumentPointersReachTheStackArguments) {
  for (std::uint32_t flags : {0u, 1u, 2u, 3u}) {
    SCOPED_TRACE(flags);
    TwoArgumentFunction f;
    ASSERT_EQ(f.run(), 0x3333u);
    CCallHook hook(addressOf(f.function), 5, 2, CCallHook::Before, flags, 1);
    EXPECT_EQ(hook.callMode, 0u);  // only honoured without arguments
    ArgumentProbe probe;
    hook.setCallback(&probe, &ArgumentProbe::onCall);
    EXPECT_EQ(f.run(), 0x5000u + 0x2222u);  // the function read the changed argument
    EXPECT_EQ(probe.first, 0x1111u);
    EXPECT_EQ(probe.second, 0x2222u);
    EXPECT_EQ(probe.firstAddress, hook.registers[KelHook::ESP] + 4);
    EXPECT_EQ(probe.secondAddress, probe.firstAddress + 4);
  }
}

// Plain callbacks remove their own arguments.
std::uint32_t plainCalls = 0;
void KEL_STDCALL plainCallback() { ++plainCalls; }

TEST(CCallHook, PlainFunctionCallback) {
  CountingSite s;
  CCallHook hook(s.address(), 6, 0, CCallHook::Before, 3, 0);
  hook.setCallback(&plainCallback);
  plainCalls = 0;
  s.run();
  EXPECT_EQ(plainCalls, 1u);
  EXPECT_EQ(s.counter, 1u);
  s.expectKept();
}

// The first diverted instruction is relocated so that it reaches the same place from the stub.
TEST(CCallHook, RelocatedCallReachesTheSameFunction) {
  for (std::uint32_t placement : {0u, 1u, 2u}) {
    SCOPED_TRACE(placement);
    Site s([](const Landmarks& l) { return hooktest::callTo(l.site, l.callee); });
    CCallHook hook(s.address(), 5, 0, placement, 0, 0);
    s.run();
    EXPECT_EQ(s.out.edx, hooktest::calleeMark);
    s.expectKept({&Registers::edx});
    // Setting and clearing the callback writes the copy again; it must still reach the callee.
    Probe probe(&hook);
    hook.setCallback(&probe, &Probe::onCall);
    hook.clearCallback();
    s.out = {};
    s.run();
    EXPECT_EQ(s.out.edx, hooktest::calleeMark);
  }
}

TEST(CCallHook, RelocatedJumpsReachTheSameDestination) {
  Site jump([](const Landmarks& l) { return hooktest::jumpTo(l.site, l.jumpTarget); });
  CCallHook jumpHook(jump.address(), 5, 0, CCallHook::Before, 0, 0);
  jump.run();
  EXPECT_EQ(jump.out.edx, hooktest::jumpMark);

  Site jz([](const Landmarks& l) { return hooktest::jzTo(l.site, l.jumpTarget); });
  CCallHook jzHook(jz.address(), 6, 0, CCallHook::Before, 0, 0);
  jz.run();  // the sample flags have ZF set
  EXPECT_EQ(jz.out.edx, hooktest::jumpMark);
  jz.in.eflags = 0x202;  // not taken: on after the site
  jz.run();
  EXPECT_EQ(jz.out.edx, jz.in.edx);
  jz.expectKept();
}

// A member function called from generated code gets `this` in ECX and removes its argument.
struct ThiscallTarget {
  std::uint32_t value = 0;
  void KEL_THISCALL take(std::uint32_t v) { value = v + 1; }
};

TEST(CallingConvention, MemberFunctionsTakeThisInEcxAndCleanTheirArgument) {
  ThiscallTarget target;
  KelHook::MemberTarget resolved = KelHook::resolveMember(&target, &ThiscallTarget::take);
  ASSERT_NE(resolved.function, 0u);
  std::uint32_t espBefore = 0, espAfter = 0;
  CodeBuffer code(1);
  code.movToMemory(addressOf(&espBefore), KelHook::ESP);
  code.emit({0x68, 0x41, 0, 0, 0});  // push 0x41
  code.movImm(KelHook::ECX, addressOf(resolved.object));
  code.call(resolved.function);
  code.movToMemory(addressOf(&espAfter), KelHook::ESP);
  code.movFromMemory(KelHook::ESP, addressOf(&espBefore));
  code.ret();
  reinterpret_cast<void (*)()>(code.getBuffer())();
  EXPECT_EQ(target.value, 0x42u);
  EXPECT_EQ(espAfter, espBefore);
}

TEST(CallingConvention, VirtualMembersResolveThroughTheTable) {
  struct Base {
    virtual ~Base() = default;
    virtual void KEL_THISCALL hit() { calls += 1; }
    std::uint32_t calls = 0;
  };
  struct Derived : Base {
    void KEL_THISCALL hit() override { calls += 10; }
  };
  Derived d;
  KelHook::MemberTarget resolved = KelHook::resolveMember<Base>(&d, &Base::hit);
  CodeBuffer code(1);
  code.movImm(KelHook::ECX, addressOf(resolved.object));
  code.call(resolved.function);
  code.ret();
  reinterpret_cast<void (*)()>(code.getBuffer())();
  EXPECT_EQ(d.calls, 10u);
}

}  // namespace
