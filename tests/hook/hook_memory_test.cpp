// Where the hooks' stub blocks come from and go back to, and what a hook does when none can be
// had; and the hook's log line.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <thread>

#include "hook/engine_log.h"
#include "hook/fast_hook.h"
#include "hook/hook.h"
#include "hook/hook_code_memory.h"
#include "hook/hook_stubs.h"
#include "site_routine.h"

using KelHook::Ptr;
using hooktest::SiteRoutine;

namespace {

// Passes requests to the allocator, or refuses them, and counts what is given back.
class ScriptedMemory : public KelHook::CodeMemory {
 public:
  ScriptedMemory() { KelHook::setCodeMemory(this); }
  ~ScriptedMemory() override { KelHook::setCodeMemory(nullptr); }

  Ptr allocate(unsigned size) override {
    ++allocations;
    return refuse ? Ptr{} : KelHook::Allocator::instance().allocate(size);
  }
  bool deallocate(Ptr& ptr) override {
    ++deallocations;
    return KelHook::Allocator::instance().deallocate(ptr);
  }

  bool refuse = false;
  int allocations = 0;
  int deallocations = 0;
};

std::string lastLogLine() {
  KelHook::writeLog(true, nullptr);  // flush
  std::ifstream file(KelHook::logFileName());
  std::string line, last;
  while (std::getline(file, line)) last = line;
  return last;
}

}  // namespace

TEST(HookCodeMemory, WithoutABlockNothingIsPatched) {
  SiteRoutine routine(hooktest::addEax(1, 1));
  const std::vector<std::uint8_t> original = routine.siteBytes(6);
  ScriptedMemory memory;
  memory.refuse = true;

  KelHook::Hook<> hook(routine.site(), 6);
  hook.logging = true;
  EXPECT_FALSE(hook.install());
  EXPECT_FALSE(hook.isInstalled());
  EXPECT_EQ(0u, hook.state.load());
  EXPECT_EQ(original, routine.siteBytes(6));
  EXPECT_NE(std::string::npos, lastLogLine().find("Can't allocate memory for code"));

  KelHook::Fast::Hook fast(routine.site());
  EXPECT_FALSE(fast.install());
  EXPECT_EQ(original, routine.siteBytes(6));

  // Once memory is there again the same hook installs.
  memory.refuse = false;
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(0xE8, routine.siteBytes(1)[0]);
}

TEST(HookCodeMemory, TheBlockGoesBackUnlessACompatibilityStubKeepsIt) {
  SiteRoutine routine(hooktest::addEax(1, 1));
  ScriptedMemory memory;
  {
    KelHook::Hook<> hook(routine.site(), 6);
    ASSERT_TRUE(hook.install());
    EXPECT_EQ(1, memory.allocations);
    EXPECT_EQ(KelHook::alignedBlockSize(KelHook::genericBlockSize(6, false)), hook.site().code().size);
    EXPECT_LT(hook.site().codeLength(), hook.site().code().size);
    ASSERT_TRUE(hook.install());  // rebuilt in the same block
    EXPECT_EQ(1, memory.allocations);
    ASSERT_TRUE(hook.remove());
    EXPECT_EQ(0, memory.deallocations);  // kept for a later install
  }
  EXPECT_EQ(1, memory.deallocations);
  {
    KelHook::Hook<RwRaster*> raster(routine.site());
    ASSERT_TRUE(raster.install());
    EXPECT_EQ(KelHook::alignedBlockSize(KelHook::genericBlockSize(5, true)), raster.site().code().size);
    ASSERT_TRUE(raster.changeSize(6) == false);
    ASSERT_TRUE(raster.remove());
    ASSERT_TRUE(raster.changeSize(6));  // a change gives the block back at once
    EXPECT_EQ(2, memory.deallocations);
  }
}

TEST(HookCodeMemory, ABlockIsSizedForTheSizeTheTableGives) {
  SiteRoutine routine(hooktest::addEax(1, 1));  // add eax, imm32: 5 bytes by the table
  KelHook::Hook<> hook(routine.site(), -1);
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(5, hook.getSize());
  EXPECT_EQ(KelHook::alignedBlockSize(KelHook::genericBlockSize(5, false)), hook.site().code().size);
  EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(hook.site().code().address) % KelHook::StubAlignment);
}

TEST(HookLog, LinesCarryTheAddressAndAnOverlongMessageIsCut) {
  KelHook::Hook<> plain(0x1234, 6);
  plain.logging = true;
  plain.log("value %d", 42);
  EXPECT_EQ("{0x1234, 6}: value 42", lastLogLine());

  KelHook::Hook<> relative(0x20, 5, "game.dll");
  relative.logging = true;
  const std::string huge(20000, 'x');
  relative.log("%s", huge.c_str());
  const std::string line = lastLogLine();
  EXPECT_EQ(0u, line.find("{0x20, 5, game.dll}: xxx"));
  EXPECT_LT(line.size(), 4096u);

  relative.logging = false;
  relative.log("not written");
  EXPECT_EQ(line, lastLogLine());

  // Passes of a thread that is not the hook's owner are told at the remove.
  {
    hooktest::SiteRoutine routine(std::vector<std::uint8_t>{0x05, 1, 0, 0, 0});
    KelHook::Hook<> hook(routine.site(), 5);
    hook.logging = true;
    ASSERT_TRUE(hook.install());
    std::uint32_t ended = 0;
    std::thread([&] { ended = GetCurrentThreadId(); }).join();
    hook.gate.owner = ended;
    routine.run(hooktest::sampleRegisters());
    routine.run(hooktest::sampleRegisters());
    ASSERT_TRUE(hook.remove());
    EXPECT_NE(std::string::npos, lastLogLine().find("2 passes of threads other than " + std::to_string(ended)))
        << lastLogLine();
  }

  // A hook that logs is called on every pass, callbacks or none.
  for (bool fast : {false, true}) {
    hooktest::SiteRoutine routine(std::vector<std::uint8_t>{0x05, 1, 0, 0, 0});
    KelHook::Hook<> generic(routine.site(), 5);
    KelHook::Fast::Hook light(routine.site());
    if (fast) {
      light.logging = true;
      ASSERT_TRUE(light.install());
    } else {
      generic.logging = true;
      ASSERT_TRUE(generic.install());
    }
    routine.run(hooktest::sampleRegisters());
    EXPECT_NE(std::string::npos, lastLogLine().find(fast ? "call after" : "return to")) << fast;
  }
}

TEST(HookCodeMemory, TheLongestStubsFillTheirBlocksUpToTheThreadCount) {
  // Every optional row: flags kept, a stack of the callbacks' own, the stack argument, and a
  // first hooked instruction that jumps away (a jcc, whose way out has rows of its own).
  const std::uint8_t jcc[] = {0x0F, 0x84, 0x10, 0x00, 0x00, 0x00, 0x90, 0x90};
  for (int size : {6, 8}) {
    const KelHook::HookedCode hooked{jcc, size, 0x401000};
    for (bool argument : {false, true}) {
      KelHook::GenericStub generic{};
      generic.hooked = hooked;
      generic.saveFlags = true;
      generic.stackTop = 0x10000;
      generic.passArgument = argument;
      KelHook::StubWriter measure(nullptr, 0);
      KelHook::writeGenericStub(measure, generic);
      EXPECT_EQ(KelHook::genericBlockSize(size, argument) - KelHook::ThreadCountBytes, measure.length())
          << size << (argument ? " with argument" : "");
    }
    KelHook::FastStub fast{};
    fast.hooked = hooked;
    KelHook::StubWriter measure(nullptr, 0);
    KelHook::writeFastStub(measure, fast);
    EXPECT_EQ(KelHook::fastBlockSize(size) - KelHook::ThreadCountBytes, measure.length()) << size;
  }
}
