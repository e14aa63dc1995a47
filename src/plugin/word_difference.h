#pragma once
// Whether two short runs of bytes differ, for the checks that run at every texture use (thousands
// a game frame): whole words, no branch per word and no loop, inlined. A library memcmp costs
// more than the bytes, and so does a loop's branch per word.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace WordDifference {

inline std::uint32_t word(const void* bytes, std::size_t at) {
  std::uint32_t value;
  std::memcpy(&value, static_cast<const std::uint8_t*>(bytes) + at, sizeof value);
  return value;
}

template <std::size_t... Word>
std::uint32_t of(const void* a, const void* b, std::index_sequence<Word...>) {
  return ((word(a, Word * 4) ^ word(b, Word * 4)) | ... | 0u);
}

}  // namespace WordDifference

// Zero when the `Size` bytes at `a` and `b` are the same.
template <std::size_t Size>
std::uint32_t wordDifference(const void* a, const void* b) {
  static_assert(Size % 4 == 0, "whole words");
  return WordDifference::of(a, b, std::make_index_sequence<Size / 4>{});
}
