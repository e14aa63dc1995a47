// The instruction length table sizes whole instructions: each form it means, with every way its
// ModRM byte can lead on, and nothing else.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hook/instruction_length.h"

namespace {

struct Case {
  std::vector<std::uint8_t> bytes;  // the instruction, then whatever follows it
  int length;
  const char* what;
};

std::string hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char byte[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(byte, sizeof byte, "%02X ", b);
    out += byte;
  }
  return out;
}

}  // namespace

TEST(InstructionLength, SizesWholeInstructionsAndRefusesOtherForms) {
  const std::vector<Case> cases = {
      {{0x05, 1, 2, 3, 4, 0x90}, 5, "add eax, imm32"},
      {{0x3D, 1, 2, 3, 4}, 5, "cmp eax, imm32"},
      {{0x68, 1, 2, 3, 4}, 5, "push imm32"},
      {{0xA1, 1, 2, 3, 4}, 5, "mov eax, [moffs32]"},
      {{0xA9, 1, 2, 3, 4}, 5, "test eax, imm32"},
      {{0xBF, 1, 2, 3, 4}, 5, "mov edi, imm32"},
      {{0xE8, 1, 2, 3, 4}, 5, "call rel32"},
      {{0xE9, 1, 2, 3, 4}, 5, "jmp rel32"},
      {{0x9A, 1, 2, 3, 4, 5, 6}, 7, "call far"},
      {{0xEA, 1, 2, 3, 4, 5, 6}, 7, "jmp far"},
      {{0x0F, 0x80, 1, 2, 3, 4}, 6, "jo rel32"},
      {{0x0F, 0x84, 1, 2, 3, 4}, 6, "jz rel32"},
      {{0x0F, 0x8F, 1, 2, 3, 4}, 6, "jg rel32"},
      {{0x0F, 0xB6, 0xC0}, 0, "movzx eax, al"},
      {{0x0F, 0x7F, 1, 2, 3, 4}, 0, "below the jcc row"},
      {{0x0F, 0x90, 0xC0, 0, 0, 0}, 0, "seto al"},
      {{0x8B, 0x0D, 1, 2, 3, 4}, 6, "mov ecx, [disp32]"},
      {{0x8B, 0x45, 0x08, 0x90, 0x90, 0x90}, 3, "mov eax, [ebp+8]"},
      {{0x8B, 0xC8, 0x90, 0x90, 0x90, 0x90}, 2, "mov ecx, eax"},
      {{0x89, 0x4D, 0xFC, 0x90, 0x90, 0x90}, 3, "mov [ebp-4], ecx"},
      {{0x8B, 0xFF, 0x55, 0x8B, 0xEC}, 2, "mov edi, edi (hot-patch prologue)"},
      {{0x8B, 0x85, 1, 2, 3, 4}, 6, "mov eax, [ebp+disp32]"},
      {{0x8B, 0x04, 0x24, 0x90}, 3, "mov eax, [esp]"},
      {{0x8B, 0x44, 0x24, 0x08}, 4, "mov eax, [esp+8]"},
      {{0x8B, 0x84, 0x24, 1, 2, 3, 4}, 7, "mov eax, [esp+disp32]"},
      {{0x8B, 0x04, 0x85, 1, 2, 3, 4}, 7, "mov eax, [eax*4+disp32]"},
      {{0x89, 0x01}, 2, "mov [ecx], eax"},
      {{0xC7, 0x45, 0xF8, 1, 2, 3, 4}, 7, "mov dword [ebp-8], imm32"},
      {{0xC7, 0x05, 1, 2, 3, 4, 5, 6, 7, 8}, 10, "mov dword [disp32], imm32"},
      {{0xC7, 0xC0, 1, 2, 3, 4}, 6, "mov eax, imm32 (ModRM form)"},
      {{0xC7, 0xC8, 1, 2, 3, 4}, 0, "C7 with register field 1"},
      {{0x81, 0x7D, 0x08, 1, 2, 3, 4}, 7, "cmp dword [ebp+8], imm32"},
      {{0x81, 0xC1, 1, 2, 3, 4}, 6, "add ecx, imm32"},
      {{0x81, 0x3C, 0x24, 1, 2, 3, 4}, 7, "cmp dword [esp], imm32"},
      {{0x69, 0xC0, 1, 2, 3, 4}, 6, "imul eax, eax, imm32"},
      {{0x69, 0x45, 0x08, 1, 2, 3, 4}, 7, "imul eax, [ebp+8], imm32"},
      {{0xF7, 0xC1, 1, 2, 3, 4}, 6, "test ecx, imm32"},
      {{0xF7, 0x45, 0x08, 1, 2, 3, 4}, 7, "test dword [ebp+8], imm32"},
      {{0xF7, 0xD8, 0x90, 0x90, 0x90, 0x90}, 2, "neg eax"},
      {{0xF7, 0xE1, 0x90, 0x90, 0x90, 0x90}, 2, "mul ecx"},
      {{0xF7, 0x75, 0x08}, 3, "div dword [ebp+8]"},
      {{0x55, 0x8B, 0xEC}, 0, "push ebp"},
      {{0x66, 0xB8, 1, 2}, 0, "operand-size prefix"},
      {{0xEB, 0x03}, 0, "jmp rel8"},
      {{0x74, 0x03}, 0, "jz rel8"},
      {{0xC3}, 0, "ret"},
      // Cut off by the end of what can be read.
      {{0x05, 1, 2, 3}, 0, "add eax, imm32 cut short"},
      {{0x0F}, 0, "0F alone"},
      {{0x8B}, 0, "8B without ModRM"},
      {{0x8B, 0x44, 0x24}, 0, "8B without its displacement"},
      {{0xC7, 0x45, 0xF8, 1, 2, 3}, 0, "C7 without all of its immediate"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.length, KelHook::instructionLength(c.bytes.data(), c.bytes.size()))
        << c.what << ": " << hex(c.bytes);
  }
  EXPECT_EQ(0, KelHook::instructionLength(nullptr, 5));
}
