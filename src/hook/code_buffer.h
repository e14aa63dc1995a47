#pragma once
// A small x86 emitter over executable memory of its own (never released: code may run there).
#include <cstdint>
#include <vector>

namespace KelHook {

enum Register : std::uint8_t { EAX = 0, ECX, EDX, EBX, ESP, EBP, ESI, EDI };

class CodeBuffer {
 public:
  explicit CodeBuffer(unsigned pages);
  CodeBuffer(const CodeBuffer&) = delete;
  CodeBuffer& operator=(const CodeBuffer&) = delete;

  // Grows (moving the code) when the byte would reach the end of the memory.
  void emit(std::uint8_t byte);
  void emit(const std::uint8_t* bytes, unsigned count);
  void emit(const std::vector<std::uint8_t>& bytes);
  void emitDword(std::uint32_t value);

  std::uint8_t* getBuffer() const { return buffer; }
  std::uint32_t getLength() const { return length; }
  void setLength(std::uint32_t newLength) { length = newLength; }
  std::uint32_t getCapacity() const { return capacity; }
  std::uint32_t getMaxLength() const { return maxLength; }
  // The address the next byte lands on.
  std::uint32_t position() const;

  void addImm(Register r, std::uint32_t imm);             // add r, imm32
  void movReg(Register dst, Register src);                // mov dst, src
  void movImm(Register r, std::uint32_t imm);             // mov r, imm32
  void movFromMemory(Register r, std::uint32_t address);  // mov r, [m32]
  void movToMemory(std::uint32_t address, Register r);    // mov [m32], r
  void push(Register r);
  void pop(Register r);
  void pushad();
  void popad();
  void pushfd();
  void popfd();
  void nop();
  void ret();
  void ret(std::uint16_t bytes);
  void call(std::uint32_t target);  // E8 rel32
  void jmp(std::uint32_t target);   // E9 rel32

 private:
  void grow();
  void ensureRoom(unsigned bytes);
  void emitMemoryForm(std::uint8_t eaxOpcode, std::uint8_t opcode, Register r,
                      std::uint32_t address);

  std::uint8_t* buffer;  // within `block`, on a cache line
  std::uint32_t capacity;
  std::uint32_t length = 0;
  std::uint32_t maxLength = 0;
  void* block = nullptr;  // what allocateExecutable gave, for free()
};

}  // namespace KelHook
