#include "hook/code_buffer.h"

#include <cstdlib>
#include <cstring>

#include "hook/memory.h"

namespace KelHook {

namespace {

// Code starts on a cache line: where malloc happens to place it would otherwise decide how many
// lines (and how fast) a stub runs.
constexpr std::uintptr_t LineSize = 64;

std::uint8_t* lineAligned(void* block) {
  const auto address = reinterpret_cast<std::uintptr_t>(block);
  return reinterpret_cast<std::uint8_t*>((address + LineSize - 1) & ~(LineSize - 1));
}

}  // namespace

CodeBuffer::CodeBuffer(unsigned pages)
    : buffer(nullptr), capacity(pages * pageSize()) {
  block = allocateExecutable(capacity + LineSize);
  buffer = lineAligned(block);
}

std::uint32_t CodeBuffer::position() const {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer + length));
}

void CodeBuffer::grow() {
  const unsigned page = pageSize();
  const std::uint32_t newCapacity = (2 * length / page + 1) * page;
  void* movedBlock = allocateExecutable(newCapacity + LineSize);
  std::uint8_t* moved = lineAligned(movedBlock);
  std::memcpy(moved, buffer, capacity);
  std::free(block);
  block = movedBlock;
  buffer = moved;
  capacity = newCapacity;
}

void CodeBuffer::emit(std::uint8_t byte) {
  if (length + 1 >= capacity) grow();
  buffer[length++] = byte;
  if (length > maxLength) maxLength = length;
}

void CodeBuffer::emit(const std::uint8_t* bytes, unsigned count) {
  for (unsigned i = 0; i < count; ++i) emit(bytes[i]);
}

void CodeBuffer::emit(const std::vector<std::uint8_t>& bytes) {
  emit(bytes.data(), static_cast<unsigned>(bytes.size()));
}

void CodeBuffer::emitDword(std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) emit(static_cast<std::uint8_t>(value >> shift));
}

void CodeBuffer::addImm(Register r, std::uint32_t imm) {
  if (r == EAX) {
    emit(0x05);
  } else {
    emit(0x81);
    emit(static_cast<std::uint8_t>(0xC0 + r));
  }
  emitDword(imm);
}

void CodeBuffer::movReg(Register dst, Register src) {
  emit(0x89);
  emit(static_cast<std::uint8_t>(0xC0 + src * 8 + dst));
}

void CodeBuffer::movImm(Register r, std::uint32_t imm) {
  emit(static_cast<std::uint8_t>(0xB8 + r));
  emitDword(imm);
}

// EAX has a short form without the ModRM byte; the others use [disp32] addressing.
void CodeBuffer::emitMemoryForm(std::uint8_t eaxOpcode, std::uint8_t opcode, Register r,
                                std::uint32_t address) {
  if (r == EAX) {
    emit(eaxOpcode);
  } else {
    emit(opcode);
    emit(static_cast<std::uint8_t>(0x05 + r * 8));
  }
  emitDword(address);
}

void CodeBuffer::movFromMemory(Register r, std::uint32_t address) {
  emitMemoryForm(0xA1, 0x8B, r, address);
}

void CodeBuffer::movToMemory(std::uint32_t address, Register r) {
  emitMemoryForm(0xA3, 0x89, r, address);
}

void CodeBuffer::push(Register r) { emit(static_cast<std::uint8_t>(0x50 + r)); }
void CodeBuffer::pop(Register r) { emit(static_cast<std::uint8_t>(0x58 + r)); }
void CodeBuffer::pushad() { emit(0x60); }
void CodeBuffer::popad() { emit(0x61); }
void CodeBuffer::pushfd() { emit(0x9C); }
void CodeBuffer::popfd() { emit(0x9D); }
void CodeBuffer::nop() { emit(0x90); }
void CodeBuffer::ret() { emit(0xC3); }

void CodeBuffer::ret(std::uint16_t bytes) {
  emit(0xC2);
  emit(static_cast<std::uint8_t>(bytes));
  emit(static_cast<std::uint8_t>(bytes >> 8));
}

void CodeBuffer::ensureRoom(unsigned bytes) {
  while (length + bytes >= capacity) grow();
}

void CodeBuffer::call(std::uint32_t target) {
  // The displacement counts from the end of the 5-byte instruction, so growth (which moves
  // the code) must happen before it is computed.
  ensureRoom(5);
  const std::uint32_t end = position() + 5;
  emit(0xE8);
  emitDword(target - end);
}

void CodeBuffer::jmp(std::uint32_t target) {
  ensureRoom(5);
  const std::uint32_t end = position() + 5;
  emit(0xE9);
  emitDword(target - end);
}

}  // namespace KelHook
