// The protected memory primitives, the code emitter and the engine log.
#include "hook/memory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hook/allocator.h"
#include "hook/code_buffer.h"
#include "hook/engine_log.h"

namespace {

using namespace KelHook;

DWORD protectionOf(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery(address, &info, sizeof(info));
  return info.Protect;
}

// Pages obtained from the system with a chosen protection, released at the end.
class Pages {
 public:
  Pages(unsigned count, DWORD protection) : size(count * pageSize()) {
    base = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    for (unsigned i = 0; i < size; ++i) base[i] = static_cast<std::uint8_t>(i * 7);
    protect(0, count, protection);
  }
  ~Pages() { VirtualFree(base, 0, MEM_RELEASE); }
  void protect(unsigned firstPage, unsigned count, DWORD protection) {
    DWORD former;
    VirtualProtect(base + firstPage * pageSize(), count * pageSize(), protection, &former);
  }
  std::uint8_t* base;
  unsigned size;
};

TEST(MemoryPrimitives, CopyCodeRefusesNullAndEmpty) {
  Pages pages(1, PAGE_READWRITE);
  const std::uint8_t source[4] = {1, 2, 3, 4};
  const std::uint8_t before = pages.base[0];
  EXPECT_EQ(copyCode(pages.base, nullptr, 4), nullptr);
  EXPECT_EQ(copyCode(nullptr, source, 4), nullptr);
  EXPECT_EQ(copyCode(pages.base, source, 0), nullptr);
  EXPECT_EQ(copyCode(pages.base, std::vector<std::uint8_t>{}), nullptr);
  EXPECT_EQ(pages.base[0], before);
}

TEST(MemoryPrimitives, WritesReachReadOnlyCodeAndLeaveItsProtection) {
  Pages pages(2, PAGE_EXECUTE_READ);
  const std::vector<std::uint8_t> bytes = {0xB8, 0x2A, 0, 0, 0, 0xC3};  // mov eax, 42; ret
  EXPECT_EQ(copyCode(pages.base + 10, bytes), pages.base + 10);
  EXPECT_EQ(protectionOf(pages.base), DWORD(PAGE_EXECUTE_READ));
  EXPECT_EQ(reinterpret_cast<int (*)()>(pages.base + 10)(), 42);

  writeByte(pages.base + 100, 0x5A);
  writeDword(pages.base + 101, 0xDEADBEEF);
  writeDword(reinterpret_cast<std::uintptr_t>(pages.base) + 4096, 0x01020304);
  EXPECT_EQ(readByte(pages.base + 100), 0x5A);
  EXPECT_EQ(readDword(pages.base + 101), 0xDEADBEEFu);
  EXPECT_EQ(readDword(reinterpret_cast<std::uintptr_t>(pages.base) + 4096), 0x01020304u);
  EXPECT_EQ(protectionOf(pages.base), DWORD(PAGE_EXECUTE_READ));
  EXPECT_EQ(protectionOf(pages.base + 4096), DWORD(PAGE_EXECUTE_READ));
}

TEST(MemoryPrimitives, CopyAcrossRegionsKeepsEachProtection) {
  Pages pages(2, PAGE_EXECUTE_READ);
  pages.protect(1, 1, PAGE_READONLY);
  const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(copyCode(pages.base + 4096 - 4, bytes), pages.base + 4096 - 4);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), pages.base + 4096 - 4));
  EXPECT_EQ(protectionOf(pages.base), DWORD(PAGE_EXECUTE_READ));
  EXPECT_EQ(protectionOf(pages.base + 4096), DWORD(PAGE_READONLY));
}

TEST(MemoryPrimitives, FillCodeCoversEveryChunk) {
  // 10000 bytes from an odd offset: chunks of 4096, 4096 and 1808 over four read-only pages.
  Pages pages(4, PAGE_READONLY);
  ASSERT_TRUE(fillCode(pages.base + 33, 0x90, 10000));
  EXPECT_EQ(pages.base[32], static_cast<std::uint8_t>(32 * 7));
  for (unsigned i = 33; i < 33 + 10000; ++i) ASSERT_EQ(pages.base[i], 0x90) << "at " << i;
  EXPECT_EQ(pages.base[33 + 10000], static_cast<std::uint8_t>((33 + 10000) * 7));
  EXPECT_EQ(protectionOf(pages.base + 3 * 4096), DWORD(PAGE_READONLY));
  EXPECT_FALSE(fillCode(nullptr, 0x90, 4));
  EXPECT_FALSE(fillCode(pages.base, 0x90, 0));
}

TEST(MemoryPrimitives, CompareCodeFindsADifferenceInTheLastByte) {
  Pages pages(4, PAGE_EXECUTE_READ);
  std::vector<std::uint8_t> same(pages.base + 5, pages.base + 5 + 10000);
  EXPECT_TRUE(compareCode(pages.base + 5, same));
  std::vector<std::uint8_t> last = same;
  last.back() ^= 1;
  EXPECT_FALSE(compareCode(pages.base + 5, last));
  std::vector<std::uint8_t> inSecondChunk = same;
  inSecondChunk[5000] ^= 1;
  EXPECT_FALSE(compareCode(pages.base + 5, inSecondChunk));
  EXPECT_FALSE(compareCode(nullptr, same.data(), 4));
}

TEST(MemoryPrimitives, MakeExecutableCountsRegionsFromTheAddress) {
  // The range starts 100 bytes into page 1 and ends 50 bytes into page 3. The first region
  // reported starts at page 1, 100 bytes before the address: counting its whole size as
  // covered would stop the walk before page 3.
  Pages pages(4, PAGE_READONLY);
  pages.protect(2, 1, PAGE_READWRITE);
  ASSERT_TRUE(makeExecutable(pages.base + 4096 + 100, 2 * 4096 - 50));
  EXPECT_EQ(protectionOf(pages.base), DWORD(PAGE_READONLY));
  for (unsigned page = 1; page < 4; ++page)
    EXPECT_EQ(protectionOf(pages.base + page * 4096), DWORD(PAGE_EXECUTE_READWRITE)) << page;
}

std::vector<std::uint8_t> emitted(const CodeBuffer& code) {
  return {code.getBuffer(), code.getBuffer() + code.getLength()};
}

TEST(CodeBuffer, EmittersWriteTheirEncodings) {
  using Bytes = std::vector<std::uint8_t>;
  struct Case {
    const char* name;
    void (*emit)(CodeBuffer&);
    Bytes bytes;
  };
  const Case cases[] = {
      {"add eax", [](CodeBuffer& c) { c.addImm(EAX, 0x11223344); }, {0x05, 0x44, 0x33, 0x22, 0x11}},
      {"add esi", [](CodeBuffer& c) { c.addImm(ESI, 8); }, {0x81, 0xC6, 8, 0, 0, 0}},
      {"mov eax, esp", [](CodeBuffer& c) { c.movReg(EAX, ESP); }, {0x89, 0xE0}},
      {"mov edi, ecx", [](CodeBuffer& c) { c.movReg(EDI, ECX); }, {0x89, 0xCF}},
      {"mov ecx, imm", [](CodeBuffer& c) { c.movImm(ECX, 0xA0B0C0D0); }, {0xB9, 0xD0, 0xC0, 0xB0, 0xA0}},
      {"mov eax, [m]", [](CodeBuffer& c) { c.movFromMemory(EAX, 0x1234); }, {0xA1, 0x34, 0x12, 0, 0}},
      {"mov ebp, [m]", [](CodeBuffer& c) { c.movFromMemory(EBP, 0x1234); }, {0x8B, 0x2D, 0x34, 0x12, 0, 0}},
      {"mov [m], eax", [](CodeBuffer& c) { c.movToMemory(0x1234, EAX); }, {0xA3, 0x34, 0x12, 0, 0}},
      {"mov [m], esp", [](CodeBuffer& c) { c.movToMemory(0x1234, ESP); }, {0x89, 0x25, 0x34, 0x12, 0, 0}},
      {"push/pop", [](CodeBuffer& c) { c.push(EBX), c.pop(EDI); }, {0x53, 0x5F}},
      {"single bytes",
       [](CodeBuffer& c) { c.pushad(), c.popad(), c.pushfd(), c.popfd(), c.nop(), c.ret(); },
       {0x60, 0x61, 0x9C, 0x9D, 0x90, 0xC3}},
      {"ret imm16", [](CodeBuffer& c) { c.ret(0x0108); }, {0xC2, 0x08, 0x01}},
  };
  for (const Case& c : cases) {
    CodeBuffer code(1);
    c.emit(code);
    EXPECT_EQ(emitted(code), c.bytes) << c.name;
  }
}

TEST(CodeBuffer, CallAndJumpCountFromTheirEnd) {
  using Bytes = std::vector<std::uint8_t>;
  CodeBuffer code(1);
  code.nop();
  const std::uint32_t start = code.position();
  code.call(start + 0x100);
  code.jmp(start);
  Bytes expected = {0x90, 0xE8, 0xFB, 0, 0, 0, 0xE9, 0xF6, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(emitted(code), expected);
}

TEST(CodeBuffer, GrowingKeepsTheCodeAndItsDisplacements) {
  CodeBuffer code(1);
  const unsigned page = pageSize();
  EXPECT_EQ(code.getCapacity(), page);
  for (unsigned i = 0; i < page - 3; ++i) code.emit(static_cast<std::uint8_t>(i));
  // The jump does not fit: the buffer moves first, and the displacement is for the new place.
  code.jmp(0x00401000);
  EXPECT_EQ(code.getCapacity(), 2 * page);
  for (unsigned i = 0; i < page - 3; ++i)
    ASSERT_EQ(code.getBuffer()[i], static_cast<std::uint8_t>(i)) << i;
  std::uint32_t displacement;
  std::memcpy(&displacement, code.getBuffer() + page - 2, 4);
  EXPECT_EQ(code.position() + displacement, 0x00401000u);
  EXPECT_EQ(code.getMaxLength(), page + 2);
  code.setLength(4);
  EXPECT_EQ(code.getMaxLength(), page + 2);
}

std::string readFile(const std::string& name) {
  std::ifstream in(name);  // text mode: lines end in CR LF on disk
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EngineLog, LinesGoToTheModulesLogAndLongOnesAreCut) {
  const std::string name = logFileName();
  EXPECT_EQ(name, "!KelHook_hook_low_level_tests.exe.log");
  writeLog(true, "opening");  // the process's first line empties the log
  writeLog(false, "never %s", "written");
  const std::string before = readFile(name);
  EXPECT_EQ(before.find("never"), std::string::npos);

  writeLog(true, "first %d", 1);
  const std::string huge(10000, 'x');
  writeLog(true, "%s", huge.c_str());
  writeLog(true, nullptr);  // nothing to write
  const std::string after = readFile(name).substr(before.size());
  EXPECT_EQ(after.substr(0, 8), "first 1\n");
  const std::string longLine = after.substr(8);
  EXPECT_EQ(longLine, std::string(4095, 'x') + "\n");
}

}  // namespace
