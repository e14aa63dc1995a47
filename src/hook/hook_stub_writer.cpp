#include "hook/hook_stub_writer.h"

#include <cstring>

#include "hook/relocation.h"

namespace KelHook {

void StubWriter::put(std::uint8_t byte) {
  if (memory_) memory_[length_] = byte;
  ++length_;
}

void StubWriter::putDword(std::uint32_t value) {
  setDword(length_, value);
  length_ += 4;
}

void StubWriter::setDword(std::uint32_t position, std::uint32_t value) {
  if (!memory_) return;
  for (int i = 0; i < 4; ++i) memory_[position + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void StubWriter::emit(std::initializer_list<std::uint8_t> bytes) {
  for (std::uint8_t byte : bytes) put(byte);
}

void StubWriter::emit(std::initializer_list<std::uint8_t> opcode, std::uint32_t operand) {
  emit(opcode);
  putDword(operand);
}

void StubWriter::emit(std::initializer_list<std::uint8_t> opcode, const void* operand) {
  emit(opcode, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(operand)));
}

void StubWriter::emit(std::initializer_list<std::uint8_t> opcode, const void* operand,
                      std::initializer_list<std::uint8_t> tail) {
  emit(opcode, operand);
  emit(tail);
}

void StubWriter::call(std::uint32_t destination) {
  emit({0xE8}, destination - (here() + 5));
}

void StubWriter::jmp(std::uint32_t destination) {
  emit({0xE9}, destination - (here() + 5));
}

std::uint32_t StubWriter::jmpForward() {
  emit({0xE9}, 0u);
  return length_;
}

std::uint32_t StubWriter::jnzForward() {
  emit({0x0F, 0x85}, 0u);
  return length_;  // the end of the jump, which its displacement counts from
}

void StubWriter::bind(std::uint32_t jumpEnd) { setDword(jumpEnd - 4, length_ - jumpEnd); }

std::uint32_t StubWriter::shortForward(std::uint8_t opcode) {
  emit({opcode, 0x00});
  return length_;
}

void StubWriter::bindShort(std::uint32_t jumpEnd) {
  if (memory_) memory_[jumpEnd - 1] = static_cast<std::uint8_t>(length_ - jumpEnd);
}

Departure StubWriter::copyRelocated(const std::uint8_t* bytes, unsigned size,
                                    std::uint32_t originalAddress) {
  Departure departure;
  if (firstInstructionJumpsAway(bytes, size)) {
    const unsigned offset = firstDisplacementOffset(bytes, size);
    std::uint32_t displacement;
    std::memcpy(&displacement, bytes + offset, 4);
    departure = {length_ + offset + 4, originalAddress + offset + 4 + displacement};
  }
  if (memory_) {
    std::memcpy(memory_ + length_, bytes, size);
    relocateFirstInstruction(memory_ + length_, size, originalAddress, here());
  }
  length_ += size;
  return departure;
}

}  // namespace KelHook
