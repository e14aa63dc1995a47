#pragma once
// Moving copied code: only a first instruction with a 32-bit relative displacement (E8 call,
// E9 jmp, 0F 80..8F jcc) is adjusted, so that it still reaches the same absolute destination.
#include <cstdint>

namespace KelHook {

// `code` holds instructions copied from `originalAddress` that will run at `newAddress`.
void relocateFirstInstruction(std::uint8_t* code, unsigned size, std::uint32_t originalAddress,
                              std::uint32_t newAddress);

}  // namespace KelHook
