// Hooks addressed relative to a module: the test loads a DLL of its own.
#include <gtest/gtest.h>
#include <windows.h>

#include "hook/fast_hook.h"
#include "hook/hook.h"

namespace {

constexpr const char* moduleName = "hook_test_module.dll";
using Site = std::uint32_t (*)();

struct LoadedModule {
  LoadedModule() : handle(LoadLibraryA(moduleName)) {}
  ~LoadedModule() {
    if (handle) FreeLibrary(handle);
  }
  Site site() const { return reinterpret_cast<Site>(GetProcAddress(handle, "moduleSite")); }
  unsigned offset() const {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(site()) -
                                 reinterpret_cast<std::uintptr_t>(handle));
  }
  HMODULE handle;
};

}  // namespace

TEST(ModuleHook, AnOffsetIntoALoadedModuleIsPatchedThere) {
  LoadedModule module;
  ASSERT_NE(nullptr, module.handle) << "the test module sits beside the test program";
  ASSERT_EQ(0x1234u, module.site()());

  KelHook::Hook<> hook(module.offset(), -1, moduleName);
  hook.onAfter.connect([](KelHook::CPU& cpu) { cpu.eax += 0x40000; });
  ASSERT_TRUE(hook.install());
  EXPECT_EQ(5, hook.getSize());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(module.site()), hook.site().target());
  EXPECT_EQ(0x41234u, module.site()());
  ASSERT_TRUE(hook.remove());
  EXPECT_EQ(0x1234u, module.site()());

  // The fast hook resolves its module the same way.
  KelHook::Fast::Hook fast(module.offset(), moduleName);
  int passes = 0;
  fast.onBefore.connect([&] { ++passes; });
  ASSERT_TRUE(fast.install());
  EXPECT_EQ(0x1234u, module.site()());
  EXPECT_EQ(1, passes);
  ASSERT_TRUE(fast.remove());
}

TEST(ModuleHook, AModuleThatIsNotLoadedFailsTheFastHookToo) {
  KelHook::Fast::Hook fast(0x1000, "velquor_no_such_module.dll");
  EXPECT_FALSE(fast.install());
  EXPECT_FALSE(fast.isInstalled());
}
