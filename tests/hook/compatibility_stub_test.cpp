// A call-site hook put over an installed generic hook copies the hook's call into its own stub.
// Removing and destroying the generic hook must leave that copy something to call.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <new>

#include "hook/ccall_hook.h"
#include "hook/fast_hook.h"
#include "hook/hook.h"
#include "site_routine.h"

using KelHook::Hook;
using hooktest::Registers;
using hooktest::SiteRoutine;

namespace {

constexpr std::uint32_t addend = 0x00A0B0C0;

struct Counter {
  int passes = 0;
  void KEL_THISCALL tick() { ++passes; }
};

}  // namespace

TEST(CompatibilityStub, TheCallSiteHooksCopyStillRunsTheOriginalInstructions) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);

  alignas(Hook<>) unsigned char storage[sizeof(Hook<>)];
  auto* hook = new (storage) Hook<>(routine.site(), 6);
  int hookPasses = 0;
  hook->onBefore.connect([&] { ++hookPasses; });
  ASSERT_TRUE(hook->install(0, 0, true, {nullptr, 0}));

  CCallHook over(routine.site(), 6, 0, CCallHook::Before, CCallHook::SaveRegisters | CCallHook::SaveFlags, 0);
  Counter counter;
  over.setCallback(&counter, &Counter::tick);
  // Both run: the call-site hook's callback, then its copy of our call.
  EXPECT_EQ(bare.eax, routine.run(in).eax);
  EXPECT_EQ(1, counter.passes);
  EXPECT_EQ(1, hookPasses);

  ASSERT_TRUE(hook->remove());
  EXPECT_TRUE(hook->isInstalled());  // the compatibility stub stays for good
  EXPECT_NE(nullptr, hook->compatEax);
  const void* block = hook->site().code().address;
  hook->~Hook<>();
  std::memset(storage, 0xCC, sizeof(storage));  // nothing may read the object any more

  const Registers out = routine.run(in);
  EXPECT_EQ(bare.eax, out.eax);
  EXPECT_EQ(bare.ecx, out.ecx);
  EXPECT_EQ(bare.edi, out.edi);
  EXPECT_EQ(bare.esp, out.esp);
  EXPECT_EQ(bare.eflags & hooktest::comparedFlags, out.eflags & hooktest::comparedFlags);
  EXPECT_EQ(2, counter.passes);
  EXPECT_EQ(1, hookPasses);
  // The block was kept: it still starts with the compatibility stub's first store.
  EXPECT_EQ(0xA3, *static_cast<const std::uint8_t*>(block));

  over.clearCallback();
  EXPECT_EQ(bare.eax, routine.run(in).eax);
  EXPECT_EQ(2, counter.passes);
}

TEST(CompatibilityStub, ARemoveAfterTheOtherPatchIsGoneRestoresTheBytes) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const std::vector<std::uint8_t> original = routine.siteBytes(6);
  Hook<> hook(routine.site(), 6);
  ASSERT_TRUE(hook.install());
  const std::vector<std::uint8_t> patch = routine.siteBytes(6);

  // Another patcher points the call elsewhere, then puts ours back.
  DWORD old;
  auto* site = reinterpret_cast<std::uint8_t*>(std::uintptr_t{routine.site()});
  VirtualProtect(site, 6, PAGE_EXECUTE_READWRITE, &old);
  site[0] = 0xE9;
  ASSERT_TRUE(hook.remove());
  EXPECT_TRUE(hook.isInstalled());
  std::memcpy(site, patch.data(), patch.size());
  VirtualProtect(site, 6, old, &old);

  ASSERT_TRUE(hook.remove());
  EXPECT_FALSE(hook.isInstalled());
  EXPECT_EQ(original, routine.siteBytes(6));
}

TEST(CompatibilityStub, AFastHookLeavesOneThatUsesItsOwnCells) {
  SiteRoutine routine(hooktest::addEax(addend));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);

  alignas(KelHook::Fast::Hook) unsigned char storage[sizeof(KelHook::Fast::Hook)];
  auto* hook = new (storage) KelHook::Fast::Hook(routine.site());
  int passes = 0;
  hook->onAfter.connect([&] { ++passes; });
  ASSERT_TRUE(hook->install());
  CCallHook over(routine.site(), 5, 0, CCallHook::Before, 0, 0);
  EXPECT_EQ(bare.eax, routine.run(in).eax);
  EXPECT_EQ(1, passes);

  ASSERT_TRUE(hook->remove());
  EXPECT_TRUE(hook->isInstalled());
  hook->~Hook();
  std::memset(storage, 0xCC, sizeof(storage));

  const Registers out = routine.run(in);
  EXPECT_EQ(bare.eax, out.eax);
  EXPECT_EQ(bare.edx, out.edx);
  EXPECT_EQ(bare.esp, out.esp);
  EXPECT_EQ(1, passes);
}

TEST(CompatibilityStub, ABusyPassThroughTheOtherPatchsCopyRunsTheOriginalInstructions) {
  SiteRoutine routine(hooktest::addEax(addend, 1));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);
  Hook<> hook(routine.site(), 6);
  int hookPasses = 0;
  hook.onBefore.connect([&] { ++hookPasses; });
  ASSERT_TRUE(hook.install(0, 0, true, {nullptr, 0}));
  CCallHook over(routine.site(), 6, 0, CCallHook::Before, CCallHook::SaveRegisters | CCallHook::SaveFlags, 0);
  // Entered from the other stub's copy of our call, not from the patch: it returns there.
  hook.gate.taken = 1;  // as if a remove were under way
  const Registers out = routine.run(in);
  EXPECT_EQ(bare.eax, out.eax);
  EXPECT_EQ(bare.ecx, out.ecx);
  EXPECT_EQ(bare.esp, out.esp);
  EXPECT_EQ(bare.eflags & hooktest::comparedFlags, out.eflags & hooktest::comparedFlags);
  EXPECT_EQ(0, hookPasses);
  hook.gate.taken = 0;
  EXPECT_EQ(bare.eax, routine.run(in).eax);
  EXPECT_EQ(1, hookPasses);
}
