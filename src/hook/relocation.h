#pragma once
// Moving copied code: only a first instruction with a 32-bit relative displacement (E8 call,
// E9 jmp, 0F 80..8F jcc) is adjusted, so that it still reaches the same absolute destination.
#include <cstdint>

namespace KelHook {

// `code` holds instructions copied from `originalAddress` that will run at `newAddress`.
void relocateFirstInstruction(std::uint8_t* code, unsigned size, std::uint32_t originalAddress,
                              std::uint32_t newAddress);

// Where the first instruction's 32-bit displacement starts (1 for E8 and E9, 2 for 0F 8x), or
// 0 when it has none. It is the instruction's last field.
unsigned firstDisplacementOffset(const std::uint8_t* code, unsigned size);

// The first instruction may leave for good (E9 jmp, 0F 8x jcc), never coming back after it.
bool firstInstructionJumpsAway(const std::uint8_t* code, unsigned size);

}  // namespace KelHook
