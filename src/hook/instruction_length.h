#pragma once
// The length of the x86 instruction at the start of `code`, for the few forms a hook is placed
// on: the table in instruction_length.cpp. 0 means "not one of them" (or cut off by the end of
// `available`): a hook there must be given its size, since guessing could cut an instruction in
// two.
#include <cstddef>
#include <cstdint>

namespace KelHook {

// The longest instruction the table sizes.
constexpr std::size_t LongestTableInstruction = 11;

int instructionLength(const std::uint8_t* code, std::size_t available);

}  // namespace KelHook
