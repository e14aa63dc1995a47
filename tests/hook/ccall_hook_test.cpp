// CCallHook, tested by running the patched code: a routine loads known registers and flags,
// passes the hooked site and stores what arrives.
#include "hook/ccall_hook.h"

#include <gtest/gtest.h>

#include <vector>

#include "hook/code_buffer.h"
#include "machine_code.h"

namespace {

using testing_code::addressOf;
using testing_code::Machine;
using testing_code::Registers;
using testing_code::SiteRoutine;
using testing_code::testedFlags;

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
    counterSeen.push_back(*counter);
    eaxSeen = hook->registers[KelHook::EAX];
    esiSeen = hook->registers[KelHook::ESI];
    if (newEax) hook->registers[KelHook::EAX] = newEax;
  }
};

// A site of 6 bytes that counts its passes: inc dword [counter].
struct CountingSite {
  Machine machine;
  SiteRoutine routine;
  std::uint32_t counter = 0;

  CountingSite() {
    routine.build(machine, {0xFF, 0x05, 0, 0, 0, 0});
    std::uint32_t cell = addressOf(&counter);
    std::memcpy(routine.site + 2, &cell, 4);
    routine.setInputs(0x1000, 0x8C1);
  }
  std::uint32_t site() const { return addressOf(routine.site); }
};

void expectRegistersKept(const SiteRoutine& r) {
  EXPECT_EQ(r.out.eax, r.in.eax);
  EXPECT_EQ(r.out.ecx, r.in.ecx);
  EXPECT_EQ(r.out.edx, r.in.edx);
  EXPECT_EQ(r.out.ebx, r.in.ebx);
  EXPECT_EQ(r.out.esp, r.siteEsp);
  EXPECT_EQ(r.out.ebp, r.in.ebp);
  EXPECT_EQ(r.out.esi, r.in.esi);
  EXPECT_EQ(r.out.edi, r.in.edi);
}

TEST(CCallHook, PatchJumpsIntoTheStubAndNopsTheRest) {
  CountingSite s;
  CCallHook hook(s.site(), 6, 0, CCallHook::Before, 0, 0);
  EXPECT_EQ(s.routine.site[0], 0xE9);
  std::uint32_t displacement;
  std::memcpy(&displacement, s.routine.site + 1, 4);
  EXPECT_EQ(s.site() + 5 + displacement, addressOf(hook.stub().getBuffer()));
  EXPECT_EQ(s.routine.site[5], 0x90);
}

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
    CCallHook hook(s.site(), 6, 0, c.placement, 0, 0);

    // Without a callback the diverted instruction runs and nothing else changes.
    s.routine.run();
    EXPECT_EQ(s.counter, 1u);
    expectRegistersKept(s.routine);

    Probe probe(&hook, &s.counter);
    hook.setCallback(&probe, &Probe::onCall);
    s.counter = 0;
    s.routine.run();
    ASSERT_EQ(probe.counterSeen.size(), 1u);
    EXPECT_EQ(probe.counterSeen[0], c.counterSeenByCallback);
    EXPECT_EQ(s.counter, c.countAfterPass);
    EXPECT_EQ(probe.eaxSeen, s.routine.in.eax);
    EXPECT_EQ(probe.esiSeen, s.routine.in.esi);
    expectRegistersKept(s.routine);

    // After clearCallback only the diverted instruction runs, in every placement.
    hook.clearCallback();
    s.counter = 0;
    s.routine.run();
    EXPECT_EQ(probe.counterSeen.size(), 1u);
    EXPECT_EQ(s.counter, 1u);
    expectRegistersKept(s.routine);
  }
}

TEST(CCallHook, CallbackMayChangeTheRegistersThatExecutionGoesOnWith) {
  CountingSite s;
  CCallHook hook(s.site(), 6, 0, CCallHook::Before, CCallHook::SaveRegisters, 0);
  Probe probe(&hook, &s.counter);
  probe.newEax = 0xABCD1234;
  hook.setCallback(&probe, &Probe::onCall);
  s.routine.run();
  EXPECT_EQ(s.routine.out.eax, 0xABCD1234u);
  EXPECT_EQ(s.routine.out.esi, s.routine.in.esi);
}

TEST(CCallHook, DestructionLeavesTheDivertedInstructionsRunning) {
  CountingSite s;
  Probe probe;
  {
    CCallHook hook(s.site(), 6, 0, CCallHook::Replace, 0, 0);
    probe = Probe(&hook, &s.counter);
    hook.setCallback(&probe, &Probe::onCall);
  }
  s.routine.run();
  EXPECT_TRUE(probe.counterSeen.empty());
  EXPECT_EQ(s.counter, 1u);
  expectRegistersKept(s.routine);
}

TEST(CCallHook, CallModePatchesWithACallAndReturnsFromTheStub) {
  Machine m;
  SiteRoutine routine;
  routine.build(m, {0x05, 0x00, 0x01, 0x00, 0x00, 0x90});  // add eax, 0x100; nop
  routine.setInputs(0x500, 0x8C1);
  CCallHook hook(addressOf(routine.site), 6, 0, CCallHook::Before, 3, 1);
  EXPECT_EQ(routine.site[0], 0xE8);
  std::uint32_t counter = 0;
  Probe probe(&hook, &counter);
  hook.setCallback(&probe, &Probe::onCall);
  routine.run();
  EXPECT_EQ(probe.counterSeen.size(), 1u);
  EXPECT_EQ(probe.eaxSeen, routine.in.eax);
  EXPECT_EQ(routine.out.eax, routine.in.eax + 0x100);
  EXPECT_EQ(routine.out.esp, routine.siteEsp);
}

TEST(CCallHook, JumpUnderAfterPlacementRunsTheCallbackFirst) {
  Machine m;
  SiteRoutine routine;
  routine.build(m, {0xE9, 0, 0, 0, 0});
  // The site jumps over a marker store to the routine's end.
  std::uint8_t* target = routine.afterSite;
  testing_code::Machine::setRel32(routine.site, 1, target);
  routine.setInputs(0x10, 0x004);
  CCallHook hook(addressOf(routine.site), 5, 0, CCallHook::After, 0, 0);
  EXPECT_EQ(hook.placement, CCallHook::Before);
  std::uint32_t counter = 0;
  Probe probe(&hook, &counter);
  hook.setCallback(&probe, &Probe::onCall);
  routine.run();
  EXPECT_EQ(probe.counterSeen.size(), 1u);
  expectRegistersKept(routine);
}

// A hooked function with two stack arguments: caller pushes 0x2222 and 0x1111 and calls it;
// the function returns its first argument in EAX.
struct TwoArgumentFunction {
  Machine m;
  std::uint8_t* caller;
  std::uint8_t* function;

  TwoArgumentFunction() {
    function = m.here();
    m.bytes({0x8B, 0x44, 0x24, 0x04, 0x90});  // mov eax, [esp+4]; nop (the site)
    m.bytes({0x8B, 0x54, 0x24, 0x08});        // mov edx, [esp+8]
    m.bytes({0x01, 0xD0});                    // add eax, edx
    m.ret();
    caller = m.here();
    m.bytes({0x68, 0x22, 0x22, 0, 0});  // push 0x2222
    m.bytes({0x68, 0x11, 0x11, 0, 0});  // push 0x1111
    m.call(function);
    m.bytes({0x83, 0xC4, 0x08});        // add esp, 8
    m.ret();
  }
  std::uint32_t run() { return reinterpret_cast<std::uint32_t (*)()>(caller)(); }
};

struct ArgumentProbe {
  std::uint32_t first = 0, second = 0;
  std::uint32_t firstAddress = 0, secondAddress = 0;
  void KEL_THISCALL onCall(std::uint32_t* a, std::uint32_t* b) {
    first = *a;
    second = *b;
    firstAddress = addressOf(a);
    secondAddress = addressOf(b);
    *a = 0x5000;  // the function reads its argument after the callback
  }
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
    EXPECT_EQ(f.run(), 0x5000u + 0x2222u);
    EXPECT_EQ(probe.first, 0x1111u);
    EXPECT_EQ(probe.second, 0x2222u);
    EXPECT_EQ(probe.secondAddress, probe.firstAddress + 4);
    EXPECT_EQ(probe.firstAddress, hook.registers[KelHook::ESP] + 4);
  }
}

TEST(CCallHook, FlagBitsKeepTheFlagsAcrossTheCallback) {
  // The callback is C++ code that changes the flags freely; only pushfd/popfd keeps them. No
  // code leaves both patterns, so one of them fails if the flags are not kept.
  for (std::uint32_t flags : {0x8C1u, 0x004u}) {
    SCOPED_TRACE(flags);
    Machine m;
    SiteRoutine routine;
    std::uint32_t cell = 0;
    routine.build(m, {0x89, 0x0D, 0, 0, 0, 0});  // mov [cell], ecx: leaves the flags alone
    std::uint32_t cellAddress = addressOf(&cell);
    std::memcpy(routine.site + 2, &cellAddress, 4);
    routine.setInputs(0x40, flags);
    CCallHook hook(addressOf(routine.site), 6, 2, CCallHook::Before,
                   CCallHook::SaveRegisters | CCallHook::SaveFlags, 0);
    // With two argument pointers a callee that failed to remove them would make popfd
    // load one of them.
    ArgumentProbe probe;
    hook.setCallback(&probe, &ArgumentProbe::onCall);
    routine.run();
    EXPECT_EQ(routine.out.eflags & testedFlags, flags & testedFlags);
    EXPECT_EQ(cell, routine.in.ecx);
    expectRegistersKept(routine);
  }
}

// Plain callbacks remove their own arguments.
std::uint32_t plainCalls = 0;
void KEL_STDCALL plainCallback() { ++plainCalls; }

TEST(CCallHook, PlainFunctionCallback) {
  CountingSite s;
  CCallHook hook(s.site(), 6, 0, CCallHook::Before, 3, 0);
  hook.setCallback(&plainCallback);
  plainCalls = 0;
  s.routine.run();
  EXPECT_EQ(plainCalls, 1u);
  EXPECT_EQ(s.counter, 1u);
  expectRegistersKept(s.routine);
}

// The first instruction of the diverted bytes is relocated so that it reaches the same place.
struct RelocationSite {
  Machine m;
  SiteRoutine routine;
  std::uint32_t marker = 0;
  std::uint8_t* destination = nullptr;
};

TEST(CCallHook, RelocatedCallReachesTheSameFunction) {
  for (std::uint32_t placement : {0u, 1u, 2u}) {
    SCOPED_TRACE(placement);
    RelocationSite s;
    // The called function: mov [marker], 0x77 style via eax, then ret.
    std::uint8_t* function = s.m.here();
    s.m.bytes({0xC7, 0x05});  // mov dword [marker], 0x77
    s.m.dword(&s.marker);
    s.m.dword(0x77u);
    s.m.ret();
    s.routine.build(s.m, {0xE8, 0, 0, 0, 0});
    testing_code::Machine::setRel32(s.routine.site, 1, function);
    s.routine.setInputs(0x20, 0x004);
    CCallHook hook(addressOf(s.routine.site), 5, 0, placement, 0, 0);
    s.routine.run();
    EXPECT_EQ(s.marker, 0x77u);
    expectRegistersKept(s.routine);
    // Setting and clearing the callback re-emits the copy; it must still reach the function.
    std::uint32_t counter = 0;
    Probe probe(&hook, &counter);
    hook.setCallback(&probe, &Probe::onCall);
    hook.clearCallback();
    s.marker = 0;
    s.routine.run();
    EXPECT_EQ(s.marker, 0x77u);
  }
}

TEST(CCallHook, RelocatedJumpsReachTheSameDestination) {
  // E9 and 0F 84 (jz, taken with ZF set) both skip a marker store after the site.
  for (bool conditional : {false, true}) {
    SCOPED_TRACE(conditional);
    RelocationSite s;
    if (conditional)
      s.routine.build(s.m, {0x0F, 0x84, 0, 0, 0, 0, 0xC7, 0x05, 0, 0, 0, 0, 1, 0, 0, 0});
    else
      s.routine.build(s.m, {0xE9, 0, 0, 0, 0, 0xC7, 0x05, 0, 0, 0, 0, 1, 0, 0, 0});
    const unsigned length = conditional ? 6 : 5;
    std::uint32_t cell = addressOf(&s.marker);
    std::memcpy(s.routine.site + length + 2, &cell, 4);
    testing_code::Machine::setRel32(s.routine.site, length - 4, s.routine.afterSite);
    s.routine.setInputs(0x30, 0x040);  // ZF
    CCallHook hook(addressOf(s.routine.site), length, 0, CCallHook::Before, 0, 0);
    s.routine.run();
    EXPECT_EQ(s.marker, 0u) << "the jump did not reach its destination";
    expectRegistersKept(s.routine);
    if (conditional) {
      s.routine.in.eflags = 0x2;  // not taken: falls through to the marker store
      s.routine.run();
      EXPECT_EQ(s.marker, 1u);
    }
  }
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
  Machine m;
  std::uint32_t espBefore = 0, espAfter = 0;
  std::uint8_t* entry = m.here();
  m.store(&espBefore, 4);          // mov [espBefore], esp
  m.bytes({0x68, 0x41, 0, 0, 0});  // push 0x41
  m.movImm(1, addressOf(resolved.object));
  m.call(reinterpret_cast<void*>(resolved.function));
  m.store(&espAfter, 4);           // mov [espAfter], esp
  m.load(4, &espBefore);           // mov esp, [espBefore]
  m.ret();
  reinterpret_cast<void (*)()>(entry)();
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
  Machine m;
  std::uint8_t* entry = m.here();
  m.movImm(1, addressOf(resolved.object));
  m.call(reinterpret_cast<void*>(resolved.function));
  m.ret();
  reinterpret_cast<void (*)()>(entry)();
  EXPECT_EQ(d.calls, 10u);
}

}  // namespace
