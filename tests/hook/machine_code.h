#pragma once
// Hand-assembled x86 routines for tests that run patched code for real. Each Machine owns a
// block of executable memory that is never released: patches and stubs may keep pointing
// into it after a test ends.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

namespace testing_code {

inline std::uint32_t addressOf(const void* p) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

class Machine {
 public:
  explicit Machine(unsigned size = 65536) : size(size) {
    base = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (!base) throw std::runtime_error("VirtualAlloc failed");
    std::memset(base, 0xCC, size);
    cursor = base;
  }

  std::uint8_t* here() const { return cursor; }
  std::uint32_t hereAddress() const { return addressOf(cursor); }

  void bytes(std::initializer_list<std::uint8_t> list) {
    for (std::uint8_t b : list) byte(b);
  }
  void bytes(const std::uint8_t* data, unsigned count) {
    for (unsigned i = 0; i < count; ++i) byte(data[i]);
  }
  void byte(std::uint8_t b) {
    if (cursor >= base + size) throw std::runtime_error("machine code block full");
    *cursor++ = b;
  }
  void dword(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) byte(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void dword(const void* p) { dword(addressOf(p)); }

  // A few instructions by name; the rest are spelled as bytes where used.
  void loadEax(const void* cell) { byte(0xA1), dword(cell); }  // mov eax, [cell]
  void storeEax(void* cell) { byte(0xA3), dword(cell); }       // mov [cell], eax
  // mov r32, [cell] / mov [cell], r32 for r in 1..7 (ECX..EDI)
  void load(int r, const void* cell) { bytes({0x8B, std::uint8_t(0x05 + r * 8)}), dword(cell); }
  void store(void* cell, int r) { bytes({0x89, std::uint8_t(0x05 + r * 8)}), dword(cell); }
  void movImm(int r, std::uint32_t v) { byte(std::uint8_t(0xB8 + r)), dword(v); }
  void call(const void* target) { rel32(0xE8, target); }
  void jmp(const void* target) { rel32(0xE9, target); }
  void ret() { byte(0xC3); }
  // Room for a rel32 instruction whose target is set later.
  std::uint8_t* reserveRel32(std::uint8_t opcode) {
    std::uint8_t* at = cursor;
    byte(opcode), dword(0u);
    return at;
  }
  static void setRel32(std::uint8_t* instruction, unsigned displacementOffset,
                       const void* target) {
    std::uint32_t end = addressOf(instruction) + displacementOffset + 4;
    std::uint32_t d = addressOf(target) - end;
    std::memcpy(instruction + displacementOffset, &d, 4);
  }

  template <class Function>
  Function as(const std::uint8_t* entry) const {
    return reinterpret_cast<Function>(const_cast<std::uint8_t*>(entry));
  }

 private:
  void rel32(std::uint8_t opcode, const void* target) {
    std::uint32_t end = hereAddress() + 5;
    byte(opcode), dword(addressOf(target) - end);
  }

  std::uint8_t* base;
  std::uint8_t* cursor;
  unsigned size;
};

// The nine values a site routine loads before its site and stores after it.
struct Registers {
  std::uint32_t eax, ecx, edx, ebx, esp, ebp, esi, edi, eflags;
};

// Carry, parity, zero, sign and overflow: the flags a test sets and expects back.
constexpr std::uint32_t testedFlags = 0x1 | 0x4 | 0x40 | 0x80 | 0x800;

// A routine that loads every general register (but ESP) and the flags from `in`, runs the
// site bytes, and stores everything that arrives into `out`. `siteEsp` is ESP at the site.
struct SiteRoutine {
  Registers in{};
  Registers out{};
  std::uint32_t siteEsp = 0;
  std::uint32_t savedEsp = 0;
  std::uint8_t* entry = nullptr;
  std::uint8_t* site = nullptr;
  std::uint8_t* afterSite = nullptr;

  // Builds the routine in `m`; `siteBytes` are placed verbatim at `site`.
  void build(Machine& m, std::initializer_list<std::uint8_t> siteBytes) {
    entry = m.here();
    m.byte(0x60);                  // pushad
    m.store(&savedEsp, 4);         // mov [savedEsp], esp
    m.bytes({0x83, 0xEC, 0x20});   // sub esp, 32: scratch that the site may treat as arguments
    m.bytes({0xFF, 0x35});         // push dword [in.eflags]
    m.dword(&in.eflags);
    m.byte(0x9D);                  // popfd
    m.loadEax(&in.eax);
    for (int r : {1, 2, 3, 5, 6, 7}) m.load(r, &in.eax + r);
    m.store(&siteEsp, 4);
    site = m.here();
    m.bytes(siteBytes);
    afterSite = m.here();
    m.storeEax(&out.eax);
    for (int r = 1; r < 8; ++r) m.store(&out.eax + r, r);
    m.byte(0x9C);                  // pushfd
    m.bytes({0x8F, 0x05});         // pop dword [out.eflags]
    m.dword(&out.eflags);
    m.byte(0xFC);                  // cld: C code expects the direction flag clear
    m.load(4, &savedEsp);          // mov esp, [savedEsp]
    m.byte(0x61);                  // popad
    m.ret();
  }

  void setInputs(std::uint32_t seed, std::uint32_t flags) {
    in = Registers{seed + 1, seed + 2, seed + 3, seed + 4, 0, seed + 6, seed + 7, seed + 8,
                   flags | 0x2};
  }

  void run() {
    out = Registers{};
    reinterpret_cast<void (*)()>(entry)();
  }
};

}  // namespace testing_code
