// What one pass through a hooked site costs, beside the same callback called directly.
// Windows build, run under Wine: `bash bench/hook/run.sh`. Under an emulated processor the
// absolute figures are inflated; the multiples of the direct call still compare. The variants
// are measured in turn, round after round, so that a busy machine weighs on all of them alike.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "../plugin/allocation_counter.h"
#include "framework/clock.h"
#include "hook/ccall_hook.h"
#include "hook/fast_hook.h"
#include "hook/hook.h"

namespace {

constexpr int passes = 50000;
constexpr int rounds = 15;

// add eax, 1; ret: five bytes a hook can take whole, and a return.
class Site {
 public:
  Site() {
    code_ = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    const std::uint8_t bytes[] = {0x05, 0x01, 0x00, 0x00, 0x00, 0xC3};
    std::copy(std::begin(bytes), std::end(bytes), code_);
    FlushInstructionCache(GetCurrentProcess(), code_, sizeof(bytes));
  }
  ~Site() { VirtualFree(code_, 0, MEM_RELEASE); }
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;
  unsigned address() const { return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(code_)); }
  void loop(int count) const {
    auto* site = reinterpret_cast<void (*)()>(code_);
    for (int i = 0; i < count; ++i) site();
  }

 private:
  std::uint8_t* code_;
};

struct Counter {
  volatile unsigned calls = 0;
  void onCpu(KelHook::CPU&) { calls = calls + 1; }
  void onRaster(KelHook::CPU&, RwRaster*&) { calls = calls + 1; }
  void onSignal() { calls = calls + 1; }
  void KEL_THISCALL onCall() { calls = calls + 1; }
};

struct Variant {
  const char* name;
  std::function<void(int)> loop;  // runs that many passes
  double best = 1e30;             // ns per pass
  long allocations = 0;
};

void measure(std::vector<Variant>& variants) {
  for (Variant& v : variants) v.loop(1000);  // warm-up: code translated, caches filled
  for (int round = 0; round < rounds; ++round) {
    for (Variant& v : variants) {
      AllocationCounter::count = 0;
      AllocationCounter::counting = true;
      const std::int64_t start = KelClock::nowNs();
      v.loop(passes);
      const std::int64_t end = KelClock::nowNs();
      AllocationCounter::counting = false;
      v.best = std::min(v.best, double(end - start) / passes);
      v.allocations += AllocationCounter::count.load();
    }
  }
}

}  // namespace

int main() {
  Counter counter;
  KelHook::CPU cpu{};
  std::function<void(KelHook::CPU&)> direct = [&counter](KelHook::CPU& c) { counter.onCpu(c); };

  Site bareSite, genericEmptySite, genericSite, rasterSite, fastEmptySite, fastSite, callSite;

  KelHook::Hook<> genericEmpty(genericEmptySite.address(), 5);
  KelHook::Hook<> generic(genericSite.address(), 5);
  generic.onBefore.connect_method(&counter, &Counter::onCpu);
  KelHook::Hook<RwRaster*> raster(rasterSite.address());
  raster.onBefore.connect_method(&counter, &Counter::onRaster);
  KelHook::Fast::Hook fastEmpty(fastEmptySite.address());
  KelHook::Fast::Hook fast(fastSite.address());
  fast.onBefore.connect(&counter, &Counter::onSignal);
  if (!genericEmpty.install() || !generic.install() || !raster.install() ||
      !fastEmpty.install() || !fast.install()) {
    std::printf("a hook did not install\n");
    return 1;
  }
  CCallHook callHook(callSite.address(), 5, 0, CCallHook::Before,
                     CCallHook::SaveRegisters | CCallHook::SaveFlags, 0);
  callHook.setCallback(&counter, &Counter::onCall);

  std::vector<Variant> variants;
  variants.push_back({"direct std::function call", [&](int n) {
                        for (int i = 0; i < n; ++i) direct(cpu);
                      }});
  variants.push_back({"bare site, no hook", [&](int n) { bareSite.loop(n); }});
  variants.push_back({"Hook<>, no callback", [&](int n) { genericEmptySite.loop(n); }});
  variants.push_back({"Hook<>, one member callback", [&](int n) { genericSite.loop(n); }});
  variants.push_back({"Hook<RwRaster*>, one member callback", [&](int n) { rasterSite.loop(n); }});
  variants.push_back({"Fast::Hook, no slot", [&](int n) { fastEmptySite.loop(n); }});
  variants.push_back({"Fast::Hook, one member slot", [&](int n) { fastSite.loop(n); }});
  variants.push_back({"CCallHook, member callback", [&](int n) { callSite.loop(n); }});
  measure(variants);

  const double directNs = variants[0].best;
  const double bareNs = variants[1].best;
  std::printf("hook pass cost: %d passes a round, best of %d rounds\n\n", passes, rounds);
  for (std::size_t i = 0; i < variants.size(); ++i) {
    const Variant& v = variants[i];
    if (i < 2) {
      std::printf("%-36s %8.1f ns %38s allocations %ld\n", v.name, v.best, "", v.allocations);
    } else {
      const double overhead = v.best - bareNs;
      std::printf("%-36s %8.1f ns  overhead %7.1f ns = %6.2fx direct  allocations %ld\n",
                  v.name, v.best, overhead, overhead / directNs, v.allocations);
    }
  }
  std::printf("\ngoals: Hook<> with one callback <= 7x direct, Fast::Hook with no slot <= 4x "
              "direct, no allocation on any pass\n");
  std::printf("callbacks run: %u\n", static_cast<unsigned>(counter.calls));
  return 0;
}
