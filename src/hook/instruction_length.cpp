#include "hook/instruction_length.h"

namespace KelHook {

namespace {

// Bytes taken by a ModRM byte and what it brings along (SIB byte, displacement) in 32-bit
// addressing; 0 when they run past `available`.
int modRmLength(const std::uint8_t* modRm, std::size_t available) {
  if (available < 1) return 0;
  const int mod = modRm[0] >> 6;
  const int rm = modRm[0] & 7;
  if (mod == 3) return 1;
  int length = 1;
  if (rm == 4) {  // a SIB byte follows
    if (available < 2) return 0;
    ++length;
    if (mod == 0 && (modRm[1] & 7) == 5) length += 4;  // [index*scale + disp32]
  } else if (mod == 0 && rm == 5) {
    length += 4;  // [disp32]
  }
  if (mod == 1) length += 1;
  if (mod == 2) length += 4;
  return static_cast<std::size_t>(length) <= available ? length : 0;
}

// Opcode byte, ModRM form, then an immediate of `immediate` bytes.
int withModRm(const std::uint8_t* code, std::size_t available, int immediate) {
  const int modRm = modRmLength(code + 1, available - 1);
  if (modRm == 0) return 0;
  const int length = 1 + modRm + immediate;
  return static_cast<std::size_t>(length) <= available ? length : 0;
}

int fixed(int length, std::size_t available) {
  return static_cast<std::size_t>(length) <= available ? length : 0;
}

int reg(const std::uint8_t* code, std::size_t available) {
  return available < 2 ? -1 : (code[1] >> 3) & 7;
}

}  // namespace

int instructionLength(const std::uint8_t* code, std::size_t available) {
  if (!code || available == 0) return 0;
  switch (code[0]) {
    case 0x05: case 0x0D: case 0x15: case 0x1D:  // add/or/adc/sbb eax, imm32
    case 0x25: case 0x2D: case 0x35: case 0x3D:  // and/sub/xor/cmp eax, imm32
    case 0x68:                                   // push imm32
    case 0xA0: case 0xA1: case 0xA2: case 0xA3:  // mov AL/EAX <-> moffs32
    case 0xA9:                                   // test eax, imm32
    case 0xB8: case 0xB9: case 0xBA: case 0xBB:  // mov r32, imm32
    case 0xBC: case 0xBD: case 0xBE: case 0xBF:
    case 0xE8: case 0xE9:                        // call / jmp rel32
      return fixed(5, available);
    case 0x0F:  // only jcc rel32; the other two-byte opcodes are not sized
      return available >= 2 && code[1] >= 0x80 && code[1] <= 0x8F ? fixed(6, available) : 0;
    case 0x69:  // imul r32, r/m32, imm32
    case 0x81:  // group 1 r/m32, imm32
      return withModRm(code, available, 4);
    case 0x89: case 0x8B:  // mov r/m32 <-> r32
      return withModRm(code, available, 0);
    case 0x9A: case 0xEA:  // call / jmp far ptr16:32
      return fixed(7, available);
    case 0xC7:  // mov r/m32, imm32; the other register fields are no instruction
      return reg(code, available) == 0 ? withModRm(code, available, 4) : 0;
    case 0xF7:  // group 3: test (fields 0 and 1) has an imm32, not/neg/mul/imul/div/idiv none
      if (reg(code, available) < 0) return 0;
      return withModRm(code, available, reg(code, available) <= 1 ? 4 : 0);
    default:
      return 0;
  }
}

}  // namespace KelHook
