// The fast hook, run for real through routines in executable memory.
#include <gtest/gtest.h>

#include "hook/fast_hook.h"
#include "register_expectations.h"
#include "site_routine.h"

using KelHook::Fast::Hook;
using hooktest::Registers;
using hooktest::SiteRoutine;

namespace {
constexpr std::uint32_t addend = 0x00300020;
}

TEST(FastHookPass, WithoutSlotsTheRegistersArriveUnchanged) {
  SiteRoutine routine(hooktest::addEax(addend, 2));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);
  Hook hook(routine.site());
  ASSERT_TRUE(hook.changeSize(7));
  ASSERT_TRUE(hook.install());
  const Registers out = routine.run(in);
  hooktest::expectSameRegisters(bare, out, false);
  EXPECT_EQ(0u, hook.state.load());
}

TEST(FastHookPass, SlotsRunBeforeAndAfterTheHookedInstructions) {
  SiteRoutine routine([](const hooktest::Landmarks& l) { return hooktest::callTo(l.site, l.callee); });
  const Registers in = hooktest::sampleRegisters();
  Hook hook(routine.site());
  std::string order;
  std::uint32_t stateDuringBefore = 0, stateDuringAfter = 0;
  hook.onBefore.connect([&] {
    order += 'b';
    stateDuringBefore = hook.state.load();
  });
  hook.onAfter.connect([&] {
    order += 'a';
    stateDuringAfter = hook.state.load();
  });
  ASSERT_TRUE(hook.install());
  const Registers out = routine.run(in);
  EXPECT_EQ("ba", order);
  EXPECT_EQ(hooktest::calleeMark, out.edx);  // the relocated call reached the callee
  EXPECT_EQ(in.eax, out.eax);
  EXPECT_EQ(routine.siteEsp(), out.esp);
  EXPECT_EQ(1u, stateDuringBefore);
  EXPECT_EQ(2u, stateDuringAfter);
  EXPECT_EQ(0u, hook.state.load());
}

TEST(FastHookLifecycle, InstallTwiceRemoveAndChange) {
  SiteRoutine routine(hooktest::addEax(addend));
  SiteRoutine other(hooktest::addEax(2 * addend));
  const std::vector<std::uint8_t> original = routine.siteBytes(5);
  const Registers in = hooktest::sampleRegisters();
  Hook hook(routine.site());
  int passes = 0;
  hook.onBefore.connect([&] { ++passes; });

  ASSERT_TRUE(hook.install());
  const std::vector<std::uint8_t> patch = routine.siteBytes(5);
  EXPECT_EQ(0xE8, patch[0]);
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(patch, routine.siteBytes(5));
  EXPECT_EQ(in.eax + addend, routine.run(in).eax);
  EXPECT_EQ(1, passes);
  EXPECT_FALSE(hook.changeAddress(other.site()));

  ASSERT_TRUE(hook.remove());
  EXPECT_EQ(original, routine.siteBytes(5));
  EXPECT_FALSE(hook.remove());
  EXPECT_NE(nullptr, hook.eaxCell);  // kept: a compatibility stub could still use it

  ASSERT_TRUE(hook.changeAddress(other.site()));
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(in.eax + 2 * addend, other.run(in).eax);
  EXPECT_EQ(2, passes);
}

TEST(FastHookLifecycle, SizesBelowTheCallAreRefused) {
  SiteRoutine routine(hooktest::addEax(addend));
  const std::vector<std::uint8_t> original = routine.siteBytes(5);
  Hook hook(routine.site());
  ASSERT_TRUE(hook.change(routine.site(), {}));  // size -1: no length table here
  EXPECT_FALSE(hook.install());
  ASSERT_TRUE(hook.changeSize(3));
  EXPECT_FALSE(hook.install());
  EXPECT_EQ(original, routine.siteBytes(5));
}

TEST(FastHookLifecycle, AJumpThatLeavesTheStubLeavesTheHookUsable) {
  SiteRoutine routine([](const hooktest::Landmarks& l) { return hooktest::jumpTo(l.site, l.jumpTarget); });
  const std::vector<std::uint8_t> original = routine.siteBytes(5);
  Hook hook(routine.site());
  int passes = 0;
  ASSERT_TRUE(hook.install());
  hook.onBefore.connect([&] { ++passes; });  // the stub calls a signal that has slots now
  EXPECT_EQ(hooktest::jumpMark, routine.run(hooktest::sampleRegisters()).edx);
  EXPECT_EQ(hooktest::jumpMark, routine.run(hooktest::sampleRegisters()).edx);
  EXPECT_EQ(2, passes);
  ASSERT_TRUE(hook.remove());
  EXPECT_EQ(original, routine.siteBytes(5));
}

TEST(FastHookLifecycle, APassWhileBusyRunsNoSlots) {
  SiteRoutine routine(hooktest::addEax(addend));
  const Registers in = hooktest::sampleRegisters();
  const Registers bare = routine.run(in);
  Hook hook(routine.site());
  int passes = 0;
  hook.onBefore.connect([&] { ++passes; });
  hook.onAfter.connect([&] { ++passes; });
  ASSERT_TRUE(hook.install());
  hook.gate.taken = 1;  // as if a remove were under way
  hooktest::expectSameRegisters(bare, routine.run(in), false);
  EXPECT_EQ(0, passes);
  EXPECT_EQ(1u, hook.gate.taken.load());
  EXPECT_EQ(0u, hook.site().threadsInside());
  hook.gate.taken = 0;
  routine.run(in);
  EXPECT_EQ(2, passes);
}
