// A module whose hook faults: the main-loop site jumps to code that writes through a null
// pointer. The stand-in must report the crash and end, never hang.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "host/host.h"

namespace {

int* volatile nowhere = nullptr;  // volatile, so the compiler cannot turn the write into a trap

__attribute__((noinline)) void fault() { *nowhere = 1; }

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  std::uint8_t patch[5] = {0xE8};
  const auto target = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&fault));
  const std::int32_t displacement = static_cast<std::int32_t>(target - (Host::MainLoopCall + 5));
  std::memcpy(patch + 1, &displacement, 4);
  DWORD old;
  auto* site = reinterpret_cast<void*>(static_cast<std::uintptr_t>(Host::MainLoopCall));
  VirtualProtect(site, sizeof patch, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(site, patch, sizeof patch);
  VirtualProtect(site, sizeof patch, old, &old);
  return TRUE;
}
