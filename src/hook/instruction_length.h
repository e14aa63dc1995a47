#pragma once
// The length of an x86 instruction judged from its first byte alone, for the few forms a hook
// is placed on. 0 means "not one of them": a hook there must be given its size.
#include <cstdint>

namespace KelHook {

int instructionLength(std::uint8_t firstByte);

}  // namespace KelHook
