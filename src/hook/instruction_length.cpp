#include "hook/instruction_length.h"

namespace KelHook {

int instructionLength(std::uint8_t firstByte) {
  switch (firstByte) {
    case 0x05: case 0x0D: case 0x15: case 0x1D:  // add/or/adc/sbb eax, imm32
    case 0x25: case 0x2D: case 0x35: case 0x3D:  // and/sub/xor/cmp eax, imm32
      return 5;
    case 0x0F:  // two-byte opcode with a 32-bit operand (jcc rel32)
      return 6;
    case 0x68:  // push imm32
      return 5;
    case 0x69:  // imul r32, r/m32, imm32 (register form)
    case 0x81:  // group 1 r/m32, imm32 (register form)
      return 6;
    case 0x89: case 0x8B:  // mov with a 32-bit absolute memory operand
      return 6;
    case 0x9A:  // call far
      return 7;
    case 0xA0: case 0xA1: case 0xA2: case 0xA3:  // mov AL/EAX <-> moffs32
    case 0xA9:                                   // test eax, imm32
      return 5;
    case 0xB8: case 0xB9: case 0xBA: case 0xBB:  // mov r32, imm32
    case 0xBC: case 0xBD: case 0xBE: case 0xBF:
      return 5;
    case 0xC7:  // mov r/m32, imm32 (register form)
      return 6;
    case 0xE8: case 0xE9:  // call / jmp rel32
      return 5;
    case 0xEA:  // jmp far
      return 7;
    case 0xF7:  // group 3 r/m32, imm32 (register form)
      return 6;
    default:
      return 0;
  }
}

}  // namespace KelHook
