#include "hook/relocation.h"

#include <cstring>

namespace KelHook {

unsigned firstDisplacementOffset(const std::uint8_t* code, unsigned size) {
  if (size >= 5 && (code[0] == 0xE8 || code[0] == 0xE9)) return 1;
  if (size >= 6 && code[0] == 0x0F && code[1] >= 0x80 && code[1] <= 0x8F) return 2;
  return 0;
}

bool firstInstructionJumpsAway(const std::uint8_t* code, unsigned size) {
  return firstDisplacementOffset(code, size) != 0 && code[0] != 0xE8;
}

void relocateFirstInstruction(std::uint8_t* code, unsigned size, std::uint32_t originalAddress,
                              std::uint32_t newAddress) {
  const unsigned offset = firstDisplacementOffset(code, size);
  if (offset == 0) return;
  std::uint32_t displacement;
  std::memcpy(&displacement, code + offset, 4);
  displacement += originalAddress - newAddress;
  std::memcpy(code + offset, &displacement, 4);
}

}  // namespace KelHook
