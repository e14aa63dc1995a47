// The generic hook, run for real: each test patches a routine in executable memory, passes
// through the patch and looks at the registers that arrive after it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "hook/ccall_hook.h"
#include "hook/fast_hook.h"
#include "hook/hook.h"
#include "hook/hook_code_memory.h"
#include "hook/memory.h"
#include "register_expectations.h"
#include "site_routine.h"

using KelHook::CPU;
using KelHook::Hook;
using KelHook::Info;
using hooktest::expectSameRegisters;
using hooktest::Registers;
using hooktest::SiteRoutine;

namespace {

constexpr std::uint32_t addend = 0x01020304;

std::vector<std::uint8_t> expectedPatch(const SiteRoutine& routine, const KelHook::PatchSite& site) {
  const auto stub = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(site.code().address));
  std::vector<std::uint8_t> bytes = hooktest::callTo(routine.site(), stub);
  bytes.resize(static_cast<std::size_t>(site.size()), 0x90);
  return bytes;
}

}  // namespace

TEST(GenericHookPass, WithoutCallbacksEveryRegisterStackAndFlagArriveUnchanged) {
  // add eax, imm32 sets the flags itself; the nops check that execution resumes at target+size.
  for (unsigned nops : {0u, 1u, 3u}) {
    SiteRoutine routine(hooktest::addEax(addend, nops));
    const Registers in = hooktest::sampleRegisters();
    const Registers bare = routine.run(in);
    ASSERT_EQ(in.eax + addend, bare.eax);
    ASSERT_EQ(routine.siteEsp(), bare.esp);

    Hook<> hook(routine.site(), static_cast<int>(5 + nops));
    ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));
    EXPECT_EQ(expectedPatch(routine, hook.site()), routine.siteBytes(5 + nops));
    expectSameRegisters(bare, routine.run(in), true);
    // A second pass goes through the same stub.
    expectSameRegisters(bare, routine.run(in), true);
    EXPECT_EQ(0u, hook.state.load());
  }
}

TEST(GenericHookPass, WithoutSavedFlagsRegistersStillArriveUnchanged) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);
  Hook<> hook(routine.site(), 6);
  ASSERT_TRUE(hook.install());
  expectSameRegisters(bare, routine.run(in), false);
}

TEST(GenericHookPass, CallbacksSeeTheRegistersAtTheSiteAndTheirChangesTakeEffect) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const Registers in = hooktest::sampleRegisters();
  Hook<> hook(routine.site(), 6);
  CPU seenBefore{}, seenAfter{};
  std::uint32_t returnSeen = 0;
  hook.onBefore.connect([&](CPU& cpu) {
    seenBefore = cpu;
    cpu.eax = 1000;  // the hooked add works on this
    cpu.esi = 0xABCDEF01;
  });
  hook.onAfter.connect([&](Info& info) {
    seenAfter = *info.cpu;
    returnSeen = *info.returnAddress;
    info.cpu->ebx = 0x0B0B0B0B;  // reaches the code after the hook
  });
  ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));
  const Registers out = routine.run(in);

  EXPECT_EQ(in.eax, seenBefore.eax);
  EXPECT_EQ(in.ecx, seenBefore.ecx);
  EXPECT_EQ(in.edx, seenBefore.edx);
  EXPECT_EQ(in.ebx, seenBefore.ebx);
  EXPECT_EQ(routine.siteEsp(), seenBefore.esp);
  EXPECT_EQ(in.ebp, seenBefore.ebp);
  EXPECT_EQ(in.edi, seenBefore.edi);
  EXPECT_EQ(in.eflags & hooktest::comparedFlags, seenBefore.eflags & hooktest::comparedFlags);

  EXPECT_EQ(1000 + addend, seenAfter.eax);
  EXPECT_EQ(0xABCDEF01u, seenAfter.esi);
  EXPECT_EQ(routine.site() + 5, returnSeen);
  EXPECT_EQ(1000 + addend, out.eax);
  EXPECT_EQ(0xABCDEF01u, out.esi);
  EXPECT_EQ(0x0B0B0B0Bu, out.ebx);
  EXPECT_EQ(routine.siteEsp(), out.esp);
}

TEST(GenericHookPass, AnAfterCallbacksEaxReachesTheCodeAfterTheHook) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  Hook<> hook(routine.site(), 6);
  hook.onAfter.connect([](CPU& cpu) { cpu.eax = 7; });
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(7u, routine.run(hooktest::sampleRegisters()).eax);
}

TEST(GenericHookPass, FlagsSetByACallbackReachTheHookedInstructions) {
  // jz taken or not decides edx: the hooked instruction sees the flags in cpu.eflags.
  SiteRoutine routine([](const hooktest::Landmarks& l) { return hooktest::jzTo(l.site, l.jumpTarget); });
  Hook<> hook(routine.site(), -1);
  std::uint32_t setFlags = 0;
  hook.onBefore.connect([&](CPU& cpu) { cpu.eflags = (cpu.eflags & ~hooktest::ZF) | setFlags; });
  ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));
  EXPECT_EQ(6, hook.getSize());

  Registers in = hooktest::sampleRegisters();
  setFlags = hooktest::ZF;
  EXPECT_EQ(hooktest::jumpMark, routine.run(in).edx);
  setFlags = 0;
  in.eflags |= hooktest::ZF;
  const Registers out = routine.run(in);
  EXPECT_EQ(in.edx, out.edx);  // fell through to target + 6
  EXPECT_EQ(0u, out.eflags & hooktest::ZF);
}

TEST(GenericHookSkip, SkippedInstructionsDoNotRunButAfterCallbacksDo) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const Registers in = hooktest::sampleRegisters();
  Hook<> hook(routine.site(), 6);
  int skipHow = 0;
  int afterRuns = 0;
  bool skipInAfter = true;
  hook.onBefore.connect([&](Info& info) {
    if (skipHow == 1) info.skip = true;
  });
  hook.onBefore.connect([&](Hook<>& self) {
    if (skipHow == 2) {
      EXPECT_TRUE(self.skipOriginal());
    }
  });
  hook.onAfter.connect([&](Hook<>& self) {
    ++afterRuns;
    skipInAfter = self.skipOriginal();
  });
  ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));

  EXPECT_EQ(in.eax + addend, routine.run(in).eax);
  skipHow = 1;
  const Registers untouched{in.eax, in.ecx, in.edx, in.ebx, routine.siteEsp(),
                            in.ebp, in.esi, in.edi, in.eflags, in.slot};
  expectSameRegisters(untouched, routine.run(in), true);
  skipHow = 2;
  EXPECT_EQ(in.eax, routine.run(in).eax);
  skipHow = 0;  // skip does not stick to the next pass
  EXPECT_EQ(in.eax + addend, routine.run(in).eax);

  EXPECT_EQ(4, afterRuns);
  EXPECT_FALSE(skipInAfter);
  EXPECT_FALSE(hook.skipOriginal());  // outside any pass
}

TEST(GenericHookSkip, ChangedReturnAddressSendsExecutionElsewhere) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  Hook<> hook(routine.site(), 6);
  bool divert = false;
  hook.onAfter.connect([&](Hook<>& self) {
    if (divert) self.changeReturnAddress(routine.landmarks().alternate);
  });
  ASSERT_TRUE(hook.install());
  routine.run(hooktest::sampleRegisters());
  EXPECT_FALSE(routine.reachedAlternate());
  divert = true;
  const Registers out = routine.run(hooktest::sampleRegisters());
  EXPECT_TRUE(routine.reachedAlternate());
  EXPECT_EQ(routine.siteEsp(), out.esp);
  divert = false;  // the next entry takes the patch's own return address again
  routine.run(hooktest::sampleRegisters());
  EXPECT_FALSE(routine.reachedAlternate());

  // From a before-callback, with nothing to call after the hooked instructions.
  SiteRoutine other(hooktest::addEax(addend, 1));
  Hook<> early(other.site(), 6);
  early.onBefore.connect([&](Hook<>& self) { self.changeReturnAddress(other.landmarks().alternate); });
  ASSERT_TRUE(early.install());
  const Registers in = hooktest::sampleRegisters();
  const Registers diverted = other.run(in);
  EXPECT_TRUE(other.reachedAlternate());
  EXPECT_EQ(in.eax + addend, diverted.eax);
  EXPECT_EQ(other.siteEsp(), diverted.esp);
}

TEST(GenericHookSkip, CallbacksRunOnAGivenStack) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);
  std::vector<std::uint8_t> stack(64 * 1024);
  Hook<> hook(routine.site(), 6);
  bool onGivenStack = false;
  hook.onBefore.connect([&] {
    const std::uint8_t local = 0;
    onGivenStack = &local >= stack.data() && &local < stack.data() + stack.size();
  });
  ASSERT_TRUE(hook.install(0, 0, true, {stack.data(), static_cast<std::uint32_t>(stack.size())}));
  expectSameRegisters(bare, routine.run(in), true);
  EXPECT_TRUE(onGivenStack);
}

TEST(RasterHookPass, TheArgumentIsTheStackSlotAtTheSite) {
  static std::uint32_t loaded = 0x10AD10AD;
  SiteRoutine routine([](const hooktest::Landmarks&) {
    std::vector<std::uint8_t> load{0xA1};  // mov eax, [loaded]
    const auto at = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&loaded));
    for (int i = 0; i < 4; ++i) load.push_back(static_cast<std::uint8_t>(at >> (8 * i)));
    return load;
  });
  const Registers in = hooktest::sampleRegisters();
  Hook<RwRaster*> hook(routine.site());
  RwRaster* seenBefore = nullptr;
  RwRaster** slotBefore = nullptr;
  RwRaster** slotAfter = nullptr;
  std::uint32_t espSeen = 0;
  hook.onBefore.connect([&](CPU& cpu, RwRaster*& raster) {
    seenBefore = raster;
    slotBefore = &raster;
    espSeen = cpu.esp;
    raster = reinterpret_cast<RwRaster*>(0xBEEF0000);
  });
  hook.onAfter.connect([&](RwRaster*& raster) { slotAfter = &raster; });
  ASSERT_TRUE(hook.install());
  const Registers out = routine.run(in);

  EXPECT_EQ(routine.siteEsp(), espSeen);
  EXPECT_EQ(reinterpret_cast<RwRaster**>(std::uintptr_t{routine.siteEsp()}), slotBefore);
  EXPECT_EQ(slotBefore, slotAfter);
  EXPECT_EQ(reinterpret_cast<RwRaster*>(std::uintptr_t{in.slot}), seenBefore);
  EXPECT_EQ(0xBEEF0000u, out.slot);
  EXPECT_EQ(loaded, out.eax);
  EXPECT_EQ(in.ecx, out.ecx);
  EXPECT_EQ(routine.siteEsp(), out.esp);
}

TEST(RasterHookPass, ArgumentOffsetsPickAnotherSlot) {
  SiteRoutine routine(hooktest::addEax(addend));
  Hook<RwRaster*> hook(routine.site());
  RwRaster** before = nullptr;
  RwRaster** after = nullptr;
  hook.onBefore.connect([&](RwRaster*& raster) { before = &raster; });
  hook.onAfter.connect([&](RwRaster*& raster) { after = &raster; });
  ASSERT_TRUE(hook.install(8, -4, false, {nullptr, 0}));
  routine.run(hooktest::sampleRegisters());
  EXPECT_EQ(reinterpret_cast<RwRaster**>(std::uintptr_t{routine.siteEsp() + 8}), before);
  EXPECT_EQ(reinterpret_cast<RwRaster**>(std::uintptr_t{routine.siteEsp() - 4}), after);
}

TEST(GenericHookRelocation, CopiedRelativeInstructionsReachTheSameDestination) {
  const Registers in = hooktest::sampleRegisters();
  {
    SiteRoutine call([](const hooktest::Landmarks& l) { return hooktest::callTo(l.site, l.callee); });
    Hook<> hook(call.site(), -1);
    int passes = 0;
    hook.onAfter.connect([&] { ++passes; });
    ASSERT_TRUE(hook.install());
    const Registers out = call.run(in);
    EXPECT_EQ(hooktest::calleeMark, out.edx);
    EXPECT_EQ(in.eax, out.eax);
    EXPECT_EQ(call.siteEsp(), out.esp);
    EXPECT_EQ(1, passes);
  }
  {
    SiteRoutine jump([](const hooktest::Landmarks& l) { return hooktest::jumpTo(l.site, l.jumpTarget); });
    Hook<> hook(jump.site(), -1);
    ASSERT_TRUE(hook.install());
    const Registers out = jump.run(in);
    EXPECT_EQ(hooktest::jumpMark, out.edx);
    EXPECT_EQ(jump.siteEsp(), out.esp);
  }
  {
    // Only the first instruction is relocated: a call after it is copied as it is.
    SiteRoutine later([](const hooktest::Landmarks& l) {
      std::vector<std::uint8_t> bytes = hooktest::addEax(addend);
      std::vector<std::uint8_t> call = hooktest::callTo(l.site + 5, l.callee);
      bytes.insert(bytes.end(), call.begin(), call.end());
      return bytes;
    });
    Hook<> hook(later.site(), 10);
    ASSERT_TRUE(hook.install());
    const auto* stub = static_cast<const std::uint8_t*>(hook.site().code().address);
    const std::vector<std::uint8_t> original = hooktest::callTo(later.site() + 5, later.landmarks().callee);
    EXPECT_NE(stub + hook.site().codeLength(), std::search(stub, stub + hook.site().codeLength(),
                                                          original.begin(), original.end()));
  }
}

TEST(GenericHookRelocation, EveryConditionalNearJumpGoesWhereItWentUnhooked) {
  // Flag sets under which each condition is taken by some and not by others.
  const std::uint32_t base = 0x202;
  const std::uint32_t flagSets[] = {base, base | hooktest::CF | hooktest::PF | hooktest::ZF |
                                              hooktest::SF | hooktest::OF,
                                    base | hooktest::SF, base | hooktest::OF};
  for (std::uint8_t condition = 0x80; condition <= 0x8F; ++condition) {
    SiteRoutine routine([condition](const hooktest::Landmarks& l) {
      std::vector<std::uint8_t> jcc = hooktest::jzTo(l.site, l.jumpTarget);
      jcc[1] = condition;
      return jcc;
    });
    Registers in = hooktest::sampleRegisters();
    std::vector<Registers> bare;
    for (std::uint32_t flags : flagSets) {
      in.eflags = flags;
      bare.push_back(routine.run(in));
    }
    Hook<> hook(routine.site(), -1);
    ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0})) << std::hex << int{condition};
    for (std::size_t i = 0; i < bare.size(); ++i) {
      in.eflags = flagSets[i];
      EXPECT_EQ(bare[i].edx, routine.run(in).edx) << "0F " << std::hex << int{condition} << ", flags " << flagSets[i];
    }
  }
}

TEST(GenericHookLifecycle, InstallTwiceRemoveTwiceAndChange) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  SiteRoutine other(hooktest::addEax(2 * addend, 3));
  const std::vector<std::uint8_t> original = routine.siteBytes(6);
  const Registers in = hooktest::sampleRegisters();
  Hook<> hook(routine.site(), 6);
  int passes = 0;
  hook.onBefore.connect([&] { ++passes; });

  ASSERT_TRUE(hook.install());
  // Rebuilds the stub only (the original bytes stay saved); another stub gets a block of its own,
  // and the patch follows it.
  ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));
  EXPECT_EQ(expectedPatch(routine, hook.site()), routine.siteBytes(6));
  EXPECT_EQ(in.eax + addend, routine.run(in).eax);
  EXPECT_EQ(1, passes);
  EXPECT_FALSE(hook.change(other.site(), 8, {}));
  EXPECT_FALSE(hook.changeAddress(other.site()));
  EXPECT_EQ(routine.site(), hook.getAddress());

  ASSERT_TRUE(hook.remove());
  EXPECT_FALSE(hook.isInstalled());
  EXPECT_EQ(original, routine.siteBytes(6));
  EXPECT_FALSE(hook.remove());
  routine.run(in);
  EXPECT_EQ(1, passes);

  // Installing again reuses the saved bytes and the block.
  ASSERT_TRUE(hook.install());
  routine.run(in);
  EXPECT_EQ(2, passes);
  ASSERT_TRUE(hook.remove());

  ASSERT_TRUE(hook.change(other.site(), 8, {}));
  EXPECT_EQ(nullptr, hook.site().code().address);
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(other.site(), hook.site().target());
  EXPECT_EQ(in.eax + 2 * addend, other.run(in).eax);
  EXPECT_EQ(in.eax + addend, routine.run(in).eax);
  EXPECT_EQ(3, passes);
}

TEST(GenericHookLifecycle, RemoveIsRefusedWhileCallbacksRun) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const std::vector<std::uint8_t> original = routine.siteBytes(6);
  Hook<> hook(routine.site(), 6);
  bool removedInBefore = true, removedInAfter = true, reinstalledInAfter = true;
  hook.onBefore.connect([&](Hook<>& self) { removedInBefore = self.remove(); });
  hook.onAfter.connect([&](Hook<>& self) {
    removedInAfter = self.remove();
    reinstalledInAfter = self.install();  // rebuilding the stub that is running
  });
  ASSERT_TRUE(hook.install());
  const Registers in = hooktest::sampleRegisters();
  EXPECT_EQ(in.eax + addend, routine.run(in).eax);
  EXPECT_FALSE(removedInBefore);
  EXPECT_FALSE(removedInAfter);
  EXPECT_FALSE(reinstalledInAfter);
  EXPECT_TRUE(hook.isInstalled());
  ASSERT_TRUE(hook.remove());
  EXPECT_EQ(original, routine.siteBytes(6));
}

TEST(GenericHookLifecycle, SizeFromTheInstructionLengthTable) {
  static std::uint32_t memory = 0x600DF00D;
  SiteRoutine load([](const hooktest::Landmarks&) {
    std::vector<std::uint8_t> bytes{0x8B, 0x0D};  // mov ecx, [memory]
    const auto at = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&memory));
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(at >> (8 * i)));
    return bytes;
  });
  Hook<> hook(load.site(), -1);
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(6, hook.getSize());
  EXPECT_EQ(memory, load.run(hooktest::sampleRegisters()).ecx);

  // push ebp is not in the table; mov eax, [ebp+8] and the hot-patch prologue's mov edi, edi
  // are, but shorter than the call: no size, nothing patched.
  for (std::vector<std::uint8_t> bytes : {std::vector<std::uint8_t>{0x55, 0x5D, 0x90, 0x90, 0x90, 0x90},
                                          std::vector<std::uint8_t>{0x8B, 0x45, 0x08, 0x90, 0x90, 0x90},
                                          std::vector<std::uint8_t>{0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x5D}}) {
    SiteRoutine site(bytes);
    const std::vector<std::uint8_t> before = site.siteBytes(6);
    Hook<> refused(site.site(), -1);
    EXPECT_FALSE(refused.install());
    EXPECT_FALSE(refused.isInstalled());
    EXPECT_EQ(before, site.siteBytes(6));
    EXPECT_EQ(0u, refused.state.load());
  }
}

TEST(GenericHookLifecycle, SizesBelowTheCallAreRefused) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const std::vector<std::uint8_t> before = routine.siteBytes(6);
  for (int size : {0, 4, -2}) {
    Hook<> hook(routine.site(), size);
    EXPECT_FALSE(hook.install()) << size;
    EXPECT_EQ(before, routine.siteBytes(6));
  }
}

TEST(GenericHookLifecycle, AModuleThatIsNotLoadedIsNotPatched) {
  Hook<> hook(0x1000, 5, "velquor_no_such_module.dll");
  EXPECT_FALSE(hook.install());
  EXPECT_FALSE(hook.isInstalled());
  EXPECT_EQ(nullptr, hook.site().code().address);
}

TEST(GenericHookCallbacks, ConnectedInOrderAndIdsReused) {
  SiteRoutine routine(hooktest::addEax(addend));
  Hook<> hook(routine.site(), 5);
  std::string order;
  struct Recorder {
    std::string* order;
    void onCpu(CPU&) { *order += 'm'; }
  } recorder{&order};
  EXPECT_EQ(0u, hook.onBefore.connect([&] { order += 'a'; }));
  EXPECT_EQ(1u, hook.onBefore.connect([&](CPU&) { order += 'b'; }));
  EXPECT_EQ(2u, hook.onBefore.connect_method(&recorder, &Recorder::onCpu));
  ASSERT_TRUE(hook.install());
  routine.run(hooktest::sampleRegisters());
  EXPECT_EQ("abm", order);

  hook.onBefore.disconnect(1);
  EXPECT_EQ(1u, hook.onBefore.connect([&](Info&) { order += 'c'; }));
  EXPECT_EQ(3u, hook.onBefore.connect([&](Hook<>&) { order += 'd'; }));
  hook.onBefore.disconnect(3);  // the last slot goes away
  EXPECT_EQ(3u, hook.onBefore.slotCount().load());
  order.clear();
  routine.run(hooktest::sampleRegisters());
  EXPECT_EQ("acm", order);

  // A list that was empty when the stub was built is called once it has a slot.
  hook.onAfter.connect([&] { order += 'z'; });
  order.clear();
  routine.run(hooktest::sampleRegisters());
  EXPECT_EQ("acmz", order);

  // A callback may disconnect itself during a pass: it is destroyed only after the pass.
  bool destroyed = false;
  unsigned self = 0;
  self = hook.onAfter.connect([&, owner = std::shared_ptr<bool>(&destroyed, [](bool* flag) {
                                 *flag = true;
                               })] {
    hook.onAfter.disconnect(self);
    order += destroyed ? 'X' : 's';
  });
  order.clear();
  routine.run(hooktest::sampleRegisters());
  routine.run(hooktest::sampleRegisters());
  EXPECT_EQ("acmzsacmz", order);
  EXPECT_TRUE(destroyed);
}

TEST(GenericHookCallbacks, FreedIdsComeBackInTheOrderTheyWereFreed) {
  SiteRoutine routine(hooktest::addEax(addend));
  Hook<> hook(routine.site(), 5);
  std::string order;
  for (char tag : std::string("abcde")) hook.onBefore.connect([&order, tag] { order += tag; });
  ASSERT_TRUE(hook.install());
  hook.onBefore.disconnect(3);
  hook.onBefore.disconnect(0);
  hook.onBefore.disconnect(2);
  EXPECT_EQ(3u, hook.onBefore.connect([&] { order += 'X'; }));
  EXPECT_EQ(0u, hook.onBefore.connect([&](CPU&) { order += 'Y'; }));
  EXPECT_EQ(2u, hook.onBefore.connect([&](Info&) { order += 'Z'; }));
  routine.run(hooktest::sampleRegisters());
  EXPECT_EQ("YbZXe", order);  // each runs at its id's place
}

TEST(GenericHookLifecycle, HookedInstructionsThatLeaveTheStubLeaveTheHookUsable) {
  // A jump, and a jz when taken, never come back to the stub's after-part.
  for (bool conditional : {false, true}) {
    SiteRoutine routine([conditional](const hooktest::Landmarks& l) {
      return conditional ? hooktest::jzTo(l.site, l.jumpTarget) : hooktest::jumpTo(l.site, l.jumpTarget);
    });
    const std::vector<std::uint8_t> original = routine.siteBytes(conditional ? 6 : 5);
    Hook<> hook(routine.site(), -1);
    int passes = 0;
    hook.onBefore.connect([&] { ++passes; });
    ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));
    Registers in = hooktest::sampleRegisters();
    in.eflags |= hooktest::ZF;
    EXPECT_EQ(hooktest::jumpMark, routine.run(in).edx);
    EXPECT_EQ(KelHook::HookState::Idle, hook.state.load());
    EXPECT_EQ(hooktest::jumpMark, routine.run(in).edx);
    EXPECT_EQ(2, passes);
    ASSERT_TRUE(hook.install());
    ASSERT_TRUE(hook.remove());
    EXPECT_EQ(original, routine.siteBytes(conditional ? 6 : 5));
  }
}

TEST(GenericHookLifecycle, ADestructorThatCannotRemoveLeavesNoWayIntoTheHook) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);
  alignas(Hook<>) unsigned char storage[sizeof(Hook<>)];
  auto* hook = new (storage) Hook<>(routine.site(), 6);
  int passes = 0;
  hook->onBefore.connect([&] { ++passes; });
  ASSERT_TRUE(hook->install(0, 0, true, {nullptr, 0}));
  // As if a thread had ended inside a pass: remove is refused, and there is nobody to wait for.
  std::uint32_t endedThread = 0;
  std::thread([&] { endedThread = GetCurrentThreadId(); }).join();
  hook->gate.taken = KelHook::HookGate::HeldByPass;
  hook->gate.owner = endedThread;
  const auto stateOffset =
      static_cast<std::size_t>(reinterpret_cast<unsigned char*>(&hook->gate.taken) - storage);
  hook->~Hook<>();
  // Nothing may read the object any more; should something still do, it finds garbage with an
  // idle state.
  std::memset(storage, 0xCC, sizeof(storage));
  std::memset(storage + stateOffset, 0, sizeof(std::uint32_t));
  expectSameRegisters(bare, routine.run(in), true);
  EXPECT_EQ(0, passes);
}

TEST(GenericHookBusy, APassDuringTheCallbacksRunsTheHookedInstructionsAlone) {
  // A callback that drives the host back through the same place.
  hooktest::CallableSite site(hooktest::addEax(addend), 16);
  Hook<> hook(site.site(), 5);
  std::vector<std::uint32_t> seen;
  std::uint32_t inner = 0;
  hook.onBefore.connect([&](CPU& cpu) {
    seen.push_back(cpu.eax);
    if (seen.size() == 1) inner = site.call(100);
  });
  hook.onAfter.connect([&](CPU& cpu) {
    seen.push_back(cpu.eax);
    if (seen.size() == 2) inner += site.call(200);
  });
  ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));
  EXPECT_EQ(1 + addend, site.call(1));
  EXPECT_EQ(300 + 2 * addend, inner);
  EXPECT_EQ((std::vector<std::uint32_t>{1, 1 + addend}), seen);  // the inner passes ran none
  EXPECT_EQ(KelHook::HookState::Idle, hook.state.load());
  EXPECT_EQ(2 + addend, site.call(2));
  EXPECT_EQ(4u, seen.size());
}

TEST(GenericHookBusy, APassDuringAnInstallOrRemoveRunsTheHookedInstructionsAlone) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);
  Hook<> hook(routine.site(), 6);
  int passes = 0;
  hook.onBefore.connect([&] { ++passes; });
  hook.onAfter.connect([&] { ++passes; });
  ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));
  hook.gate.taken = 1;  // as an install or a remove holds it
  expectSameRegisters(bare, routine.run(in), true);
  EXPECT_EQ(1u, hook.gate.taken.load());
  EXPECT_EQ(0u, hook.site().threadsInside());  // the busy pass counted itself out again
  EXPECT_EQ(0, passes);
  hook.gate.taken = 0;
  routine.run(in);
  EXPECT_EQ(2, passes);
}

TEST(GenericHookPatch, AThreadRunningTheSiteOnlyEverMeetsWholePatches) {
  // The site lies within one aligned 8-byte unit; another thread runs it all the while.
  hooktest::CallableSite site(hooktest::addEax(addend), 16);
  std::atomic<bool> stop{false};
  std::atomic<long> wrong{0}, calls{0};
  std::thread runner([&] {
    for (std::uint32_t x = 0; !stop.load(); ++x) {
      if (site.call(x) != x + addend) ++wrong;
      ++calls;
    }
  });
  // The patches are written while the other thread is surely running.
  while (calls.load() < 1000) std::this_thread::yield();
  {
    Hook<> hook(site.site(), 5);
    for (int i = 0; i < 1000; ++i) {
      hook.install();
      hook.remove();
    }
    while (hook.isInstalled()) hook.remove();
  }
  // Call-site hooks stay for good: each one diverts the previous one's jump.
  std::vector<std::unique_ptr<CCallHook>> callSiteHooks;
  for (int i = 0; i < 50; ++i)
    callSiteHooks.push_back(std::make_unique<CCallHook>(site.site(), 5, 0, CCallHook::Before, 0, 0));
  stop = true;
  runner.join();
  EXPECT_EQ(0, wrong.load());
  EXPECT_GT(calls.load(), 0);
  EXPECT_EQ(7 + addend, site.call(7));
}

// Called from a site's hooked instructions: the first call after `holdNextCaller` is set keeps
// its thread inside the stub's copy of them until `releaseCaller`; the others return at once.
std::atomic<bool> holdNextCaller{false};
std::atomic<bool> callerHeld{false};
std::atomic<bool> releaseCaller{false};
unsigned __cdecl returnSeventySevenWhenReleased() {
  if (holdNextCaller.exchange(false)) {
    callerHeld = true;
    while (!releaseCaller.load()) std::this_thread::yield();
  }
  return 77;
}

// mov ecx, returnSeventySevenWhenReleased; call ecx
hooktest::CallableSite callingSite() {
  std::vector<std::uint8_t> bytes{0xB9, 0, 0, 0, 0, 0xFF, 0xD1};
  const auto callee = static_cast<std::uint32_t>(
      reinterpret_cast<std::uintptr_t>(&returnSeventySevenWhenReleased));
  std::memcpy(&bytes[1], &callee, 4);
  return hooktest::CallableSite(bytes, 16);
}

// A thread held inside the hooked call until release(); result() once it is back.
class HeldCaller {
 public:
  explicit HeldCaller(const hooktest::CallableSite& site) {
    releaseCaller = false;
    callerHeld = false;
    holdNextCaller = true;
    thread_ = std::thread([this, &site] { result_ = site.call(1); });
    while (!callerHeld.load()) std::this_thread::yield();
  }
  ~HeldCaller() { release(); }
  std::uint32_t release() {
    releaseCaller = true;
    if (thread_.joinable()) thread_.join();
    return result_;
  }

 private:
  std::thread thread_;
  std::uint32_t result_ = 0;
};

TEST(GenericHookThreads, AThreadInsideTheHookedCallKeepsTheHookUntilItIsBack) {
  hooktest::CallableSite site = callingSite();
  alignas(Hook<>) unsigned char storage[sizeof(Hook<>)];
  auto* hook = new (storage) Hook<>(site.site(), 7);
  std::atomic<int> befores{0};
  std::vector<std::uint32_t> afterEax;
  hook->onBefore.connect([&] { ++befores; });
  hook->onAfter.connect([&](CPU& cpu) { afterEax.push_back(cpu.eax); });
  ASSERT_TRUE(hook->install(0, 0, true));

  HeldCaller held(site);
  // Neither removed nor rebuilt under the thread, which comes back to the stub and the hook.
  EXPECT_FALSE(hook->remove());
  EXPECT_FALSE(hook->install());
  EXPECT_TRUE(hook->isInstalled());
  // A second thread meanwhile runs the hooked instructions alone, on a record of its own; it is
  // not the owner, so it never runs callbacks, even with the hook free.
  EXPECT_EQ(77u, site.call(2));
  EXPECT_EQ(1, befores.load());
  EXPECT_TRUE(afterEax.empty());
  EXPECT_EQ(1u, hook->gate.foreignPasses.load());

  // The owner goes away on another thread: it waits for the held pass.
  std::atomic<bool> destroyed{false};
  std::thread owner([&] {
    hook->~Hook<>();
    destroyed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(destroyed.load());
  EXPECT_EQ(77u, held.release());
  owner.join();
  std::memset(storage, 0xCC, sizeof(storage));  // nothing may read the object any more
  EXPECT_EQ((std::vector<std::uint32_t>{77}), afterEax);
  EXPECT_EQ(77u, site.call(3));
  EXPECT_EQ(1, befores.load());
}

// Runs the site in a loop on a thread of the system's own, which can be stopped anywhere.
class LoopingCaller {
 public:
  explicit LoopingCaller(const hooktest::CallableSite& site) : site_(site) {
    thread_ = CreateThread(nullptr, 0, &LoopingCaller::loop, this, 0, nullptr);
  }
  ~LoopingCaller() {
    stop_ = true;
    ResumeThread(thread_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  // Stops the thread once its next instruction is at `eip` with ECX `ecx`; false if that does
  // not happen within `seconds`.
  bool stopAt(const void* eip, std::uint32_t ecx, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
      SuspendThread(thread_);
      CONTEXT context{};
      context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
      if (GetThreadContext(thread_, &context) && context.Eip == reinterpret_cast<DWORD>(eip) &&
          context.Ecx == ecx)
        return true;
      ResumeThread(thread_);
    }
    return false;
  }
  void resume() { ResumeThread(thread_); }

 private:
  static DWORD WINAPI loop(void* self) {
    auto* caller = static_cast<LoopingCaller*>(self);
    for (std::uint32_t x = 0; !caller->stop_.load(); ++x) caller->site_.call(x);
    return 0;
  }
  const hooktest::CallableSite& site_;
  std::atomic<bool> stop_{false};
  HANDLE thread_;
};

TEST(GenericHookThreads, ABusyPassKeepsItsBlockUntilItLeaves) {
  hooktest::CallableSite site = callingSite();
  Hook<> hook(site.site(), 7);
  ASSERT_TRUE(hook.install(0, 0, true));
  const KelHook::Ptr first = hook.site().code();
  const auto* block = static_cast<const std::uint8_t*>(first.address);
  const std::vector<std::uint8_t> running(block, block + hook.site().codeLength());

  hook.gate.taken = 1;  // as an install holds it: the next pass is a busy one
  HeldCaller held(site);
  EXPECT_EQ(1u, hook.site().threadsInside());
  hook.gate.taken = 0;
  // Another stub goes to a fresh block and the first one is given back, with a pass inside it;
  // a change of another hook gives a block back too, which frees what may be freed.
  ASSERT_TRUE(hook.install());
  EXPECT_NE(first.address, hook.site().code().address);
  {
    Hook<> other(site.site() + 0x100, 5);
    other.change(site.site() + 0x200, 5, {});
  }
  EXPECT_EQ(running, std::vector<std::uint8_t>(block, block + running.size()));
  EXPECT_EQ(77u, held.release());
  EXPECT_EQ(0u, KelHook::threadsInside(first).load());
  EXPECT_EQ(77u, site.call(2));
}

// A spinning thread of the system's own, stopped and moved to where it would stand had it made a
// patch's call just before the patch went away; put back where it was by `moveBack`.
class ParkedThread {
 public:
  ParkedThread() { thread_ = CreateThread(nullptr, 0, &ParkedThread::spin, this, 0, nullptr); }
  ~ParkedThread() {
    moveBack();
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  DWORD id() const { return GetThreadId(thread_); }
  bool moveTo(const void* eip, DWORD ecx = 0) {
    if (SuspendThread(thread_) == static_cast<DWORD>(-1)) return false;
    own_.ContextFlags = CONTEXT_FULL;
    CONTEXT moved{};
    moved.ContextFlags = CONTEXT_FULL;
    if (!GetThreadContext(thread_, &own_) || !GetThreadContext(thread_, &moved)) return false;
    moved.Eip = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(eip));
    moved.Ecx = ecx;
    return moved_ = SetThreadContext(thread_, &moved) != 0;
  }
  void moveBack() {
    if (!moved_) return;
    SetThreadContext(thread_, &own_);
    ResumeThread(thread_);
    moved_ = false;
  }

 private:
  static DWORD WINAPI spin(void* self) {
    while (!static_cast<ParkedThread*>(self)->stop_.load()) {
    }
    return 0;
  }
  std::atomic<bool> stop_{false};
  bool moved_ = false;
  CONTEXT own_{};
  HANDLE thread_;
};

// Whether the allocator holds the block as free memory (or has given its page back).
bool blockIsFree(const KelHook::Ptr& block) {
  for (const KelHook::Page& page : KelHook::Allocator::instance().pages()) {
    if (!page.contains(block)) continue;
    const auto* start = static_cast<const std::uint8_t*>(block.address);
    return std::any_of(page.freePtrs.begin(), page.freePtrs.end(), [&](const KelHook::Ptr& part) {
      const auto* free = static_cast<const std::uint8_t*>(part.address);
      return free <= start && start + block.size <= free + part.size;
    });
  }
  return true;
}

TEST(GenericHookThreads, AThreadAboutToRunAStubKeepsItsBlockUntilItIsElsewhere) {
  // Stopped between the patch's call and the stub's first instruction, a thread is in no count:
  // the hook's end must not free the block under it.
  hooktest::CallableSite site(hooktest::addEax(addend), 16);
  ParkedThread parked;
  KelHook::Ptr block;
  std::vector<std::uint8_t> stub;
  {
    Hook<> hook(site.site(), 5);
    ASSERT_TRUE(hook.install());
    block = hook.site().code();
    const auto* bytes = static_cast<const std::uint8_t*>(block.address);
    stub.assign(bytes, bytes + hook.site().codeLength());
    ASSERT_TRUE(parked.moveTo(block.address));
  }
  ASSERT_FALSE(blockIsFree(block));
  const auto* bytes = static_cast<const std::uint8_t*>(block.address);
  EXPECT_EQ(stub, std::vector<std::uint8_t>(bytes, bytes + stub.size()));
  // Once the thread is elsewhere, the next block given back frees it.
  parked.moveBack();
  KelHook::Ptr next = KelHook::codeMemory().allocate(64);
  KelHook::threadsInside(next) = 0;
  KelHook::codeMemory().deallocate(next);
  EXPECT_TRUE(blockIsFree(block));
  EXPECT_EQ(5 + addend, site.call(5));
}

TEST(GenericHookThreads, ARemoveMeetingTheOwnerAboutToHoldTheHookIsRefused) {
  // The owner's pass takes the hook with plain stores. Stopped after it read the hook free and
  // before its store, it is about to hold the hook: a remove of another thread must be refused.
  hooktest::CallableSite site(hooktest::addEax(addend), 16);
  Hook<> hook(site.site(), 5);
  int befores = 0;
  hook.onBefore.connect([&] { ++befores; });
  const KelHook::EntryWindow window = KelHook::entryWindow();
  ParkedThread owner;
  hook.gate.owner = owner.id();  // as if its first pass had claimed the hook
  struct Place {
    std::uint32_t at;
    DWORD ecx;  // what its entry read
    bool removed;
  };
  for (const Place& place : {Place{window.readFree, 0, false}, Place{window.store, 0, false},
                             Place{window.readFree, 1, true}, Place{window.store + 10, 0, true}}) {
    SCOPED_TRACE(place.at);
    ASSERT_TRUE(hook.install());
    ASSERT_TRUE(owner.moveTo(static_cast<const std::uint8_t*>(hook.site().code().address) + place.at, place.ecx));
    EXPECT_EQ(place.removed, hook.remove());
    EXPECT_EQ(0u, hook.gate.taken.load());  // given back before the owner runs on
    owner.moveBack();
  }
  ASSERT_TRUE(hook.install());
  // This thread is not the owner: its pass runs the hooked instructions alone, counted.
  EXPECT_EQ(9 + addend, site.call(9));
  EXPECT_EQ(0, befores);
  EXPECT_EQ(1u, hook.gate.foreignPasses.load());
}

TEST(FastHookThreads, AThreadInsideTheHookedCallKeepsTheHookAndASecondOneRunsNoSlots) {
  hooktest::CallableSite site = callingSite();
  KelHook::Fast::Hook hook(site.site());
  ASSERT_TRUE(hook.changeSize(7));
  std::atomic<int> slots{0};
  hook.onBefore.connect([&] { ++slots; });
  hook.onAfter.connect([&] { ++slots; });
  ASSERT_TRUE(hook.install());
  {
    HeldCaller held(site);
    EXPECT_FALSE(hook.remove());
    EXPECT_EQ(77u, site.call(2));
    EXPECT_EQ(1, slots.load());
    EXPECT_EQ(77u, held.release());
  }
  EXPECT_EQ(2, slots.load());
  EXPECT_EQ(77u, site.call(4));  // the owner was the held thread: no slots here
  EXPECT_EQ(2, slots.load());
  EXPECT_EQ(2u, hook.gate.foreignPasses.load());
  EXPECT_TRUE(hook.remove());
  EXPECT_EQ(77u, site.call(3));
}

TEST(GenericHookPatch, ProtectionChangesOnlyOnThePagesWritten) {
  // The site straddles two pages: its first page writable, its second read-only code.
  hooktest::CallableSite site(hooktest::addEax(addend), 4096 - 3);
  site.protect(0, PAGE_EXECUTE_READWRITE);
  Hook<> hook(site.site(), 5);
  int passes = 0;
  hook.onBefore.connect([&] { ++passes; });
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(std::uint32_t{PAGE_EXECUTE_READWRITE}, site.protection(0));
  EXPECT_EQ(std::uint32_t{PAGE_EXECUTE_READ}, site.protection(1));
  EXPECT_EQ(5 + addend, site.call(5));
  ASSERT_TRUE(hook.remove());
  EXPECT_EQ(std::uint32_t{PAGE_EXECUTE_READWRITE}, site.protection(0));
  EXPECT_EQ(std::uint32_t{PAGE_EXECUTE_READ}, site.protection(1));
  EXPECT_EQ(6 + addend, site.call(6));
  EXPECT_EQ(1, passes);
}
