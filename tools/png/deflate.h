#pragma once
// A small zlib stream writer: greedy LZ77 with one hash probe, coded with deflate's fixed Huffman
// table. Far from the best ratio, but a few dozen lines and never more than ~13% above the input.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace VelquorPng {

std::vector<std::uint8_t> zlibCompress(const std::uint8_t* data, std::size_t size);

}  // namespace VelquorPng
