#pragma once
// A routine in executable (read-execute) memory that loads every general register, the flags and
// one stack slot with given values, runs a "site" of instructions, and stores what arrives after
// it. Hooks are put on the site; comparing the stored values with a run without the hook shows
// what the hook changed. The routine runs on a stack of its own, so ESP at the site is known.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace hooktest {

struct Registers {
  std::uint32_t eax, ecx, edx, ebx, esp, ebp, esi, edi, eflags;
  std::uint32_t slot;  // the 32-bit value on top of the stack at the site
};

// Arithmetic flags and the direction flag; the rest are the system's.
constexpr std::uint32_t comparedFlags = 0xCD5;
constexpr std::uint32_t CF = 0x001, PF = 0x004, ZF = 0x040, SF = 0x080, OF = 0x800;

// Distinct values in every register; flags with CF, ZF, SF and OF set.
Registers sampleRegisters();

// Places the routine offers a site to lead to.
struct Landmarks {
  std::uint32_t site;        // where the site's first byte will be
  std::uint32_t callee;      // a function: mov edx, calleeMark; ret
  std::uint32_t jumpTarget;  // mov edx, jumpMark; then the end of the routine
  std::uint32_t alternate;   // marks reachedAlternate; then the end of the routine
};
constexpr std::uint32_t calleeMark = 0xCA11EE00;
constexpr std::uint32_t jumpMark = 0x1D1D1D1D;

class SiteRoutine {
 public:
  using SiteBytes = std::function<std::vector<std::uint8_t>(const Landmarks&)>;

  explicit SiteRoutine(const SiteBytes& site);
  explicit SiteRoutine(std::vector<std::uint8_t> site);
  ~SiteRoutine();
  SiteRoutine(const SiteRoutine&) = delete;
  SiteRoutine& operator=(const SiteRoutine&) = delete;

  Registers run(const Registers& in);

  std::uint32_t site() const { return landmarks_.site; }
  const Landmarks& landmarks() const { return landmarks_; }
  // ESP at the site.
  std::uint32_t siteEsp() const { return stackTop_ - 4; }
  bool reachedAlternate() const { return data_->reachedAlternate != 0; }
  std::vector<std::uint8_t> siteBytes(unsigned count) const;

 private:
  struct Data {
    Registers in;
    Registers out;
    std::uint32_t savedEsp;
    std::uint32_t epilogue;
    std::uint32_t reachedAlternate;
  };

  std::unique_ptr<Data> data_;
  std::vector<std::uint8_t> stack_;
  std::uint32_t stackTop_ = 0;
  std::uint8_t* code_ = nullptr;
  Landmarks landmarks_{};
};

// A function `unsigned f(unsigned x)` (cdecl) in two pages of executable memory of its own:
// mov eax, x; the site; ret. The site starts at `siteOffset` in the first page, so a test can
// place it across the page boundary or within one aligned 8-byte unit, and call it from any
// thread or from a callback.
class CallableSite {
 public:
  CallableSite(const std::vector<std::uint8_t>& site, unsigned siteOffset);
  ~CallableSite();
  CallableSite(const CallableSite&) = delete;
  CallableSite& operator=(const CallableSite&) = delete;

  std::uint32_t call(std::uint32_t x) const;
  std::uint32_t site() const;
  // VirtualProtect of one of the two pages; and what VirtualQuery says of it.
  void protect(unsigned page, std::uint32_t protection);
  std::uint32_t protection(unsigned page) const;

 private:
  std::uint8_t* pages_;
  unsigned siteOffset_;
};

// Site bytes: instructions with a 32-bit displacement to an absolute destination.
std::vector<std::uint8_t> callTo(std::uint32_t from, std::uint32_t destination);  // E8
std::vector<std::uint8_t> jumpTo(std::uint32_t from, std::uint32_t destination);  // E9
std::vector<std::uint8_t> jzTo(std::uint32_t from, std::uint32_t destination);    // 0F 84
// add eax, imm32 (05), followed by `nops` bytes 0x90.
std::vector<std::uint8_t> addEax(std::uint32_t value, unsigned nops = 0);

}  // namespace hooktest
