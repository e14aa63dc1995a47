#include "hook/relocation.h"

#include <cstring>

namespace KelHook {

void relocateFirstInstruction(std::uint8_t* code, unsigned size, std::uint32_t originalAddress,
                              std::uint32_t newAddress) {
  unsigned offset = 0;
  if (size >= 5 && (code[0] == 0xE8 || code[0] == 0xE9))
    offset = 1;
  else if (size >= 6 && code[0] == 0x0F && code[1] >= 0x80 && code[1] <= 0x8F)
    offset = 2;
  else
    return;
  std::uint32_t displacement;
  std::memcpy(&displacement, code + offset, 4);
  displacement += originalAddress - newAddress;
  std::memcpy(code + offset, &displacement, 4);
}

}  // namespace KelHook
