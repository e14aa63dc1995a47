#pragma once
// Writes generated x86 code at a fixed address. A writer without memory only counts, so a stub
// can be measured before its block is obtained and is then written in one go, never beyond it.
#include <cstdint>
#include <initializer_list>

namespace KelHook {

// A first hooked instruction that jumps away from the stub (jmp, or jcc when taken): its
// displacement is bound later, to rows that let go of the stub before they jump on.
struct Departure {
  std::uint32_t jumpEnd = 0;      // 0: the instruction does not jump away
  std::uint32_t destination = 0;  // where it went from its original place
};

class StubWriter {
 public:
  // `memory` null: measure only. `address` is where byte 0 will execute. `threadsInside` is the
  // 32-bit count of the block's busy passes, which the stub keeps.
  StubWriter(std::uint8_t* memory, std::uint32_t address, const void* threadsInside = nullptr)
      : memory_(memory), address_(address), threadsInside_(threadsInside) {}

  // An instruction of fixed bytes.
  void emit(std::initializer_list<std::uint8_t> bytes);
  // Opcode bytes followed by a 32-bit immediate or absolute address.
  void emit(std::initializer_list<std::uint8_t> opcode, std::uint32_t operand);
  void emit(std::initializer_list<std::uint8_t> opcode, const void* operand);
  // Opcode, absolute address, then more fixed bytes (one short sequence of a stub's table).
  void emit(std::initializer_list<std::uint8_t> opcode, const void* operand,
            std::initializer_list<std::uint8_t> tail);
  // E8 rel32 to an absolute destination.
  void call(std::uint32_t destination);
  // A 32-bit immediate after the instruction's other bytes.
  void immediate(std::uint32_t value) { putDword(value); }
  // E9 rel32 to an absolute destination.
  void jmp(std::uint32_t destination);
  // 0F 85 rel32 / E9 rel32 whose destination is given later by bind().
  std::uint32_t jnzForward();
  std::uint32_t jmpForward();
  void bind(std::uint32_t jumpPosition);
  // Short forms (rel8): jecxz, je, jne, jmp, bound by bindShort() within 127 bytes.
  std::uint32_t shortForward(std::uint8_t opcode);
  void bindShort(std::uint32_t jumpEnd);
  // Instructions copied from `originalAddress`, their first one relocated to reach the same
  // destinations from here. A first jmp or jcc is left for bind() instead (see Departure).
  Departure copyRelocated(const std::uint8_t* bytes, unsigned size, std::uint32_t originalAddress);

  std::uint32_t length() const { return length_; }
  const void* threadsInside() const { return threadsInside_; }
  std::uint32_t here() const { return address_ + length_; }

 private:
  void put(std::uint8_t byte);
  void putDword(std::uint32_t value);
  void setDword(std::uint32_t position, std::uint32_t value);

  std::uint8_t* memory_;
  std::uint32_t address_;
  std::uint32_t length_ = 0;
  const void* threadsInside_;
};

}  // namespace KelHook
