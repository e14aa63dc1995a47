#pragma once
// The LZW string table of one image: entry n is the string of code n, stored as its last
// character and the code of the rest. One allocation: this header, then the entries. It serves
// where strings are rebuilt from the table rather than copied from earlier output.
#include <cstdint>

struct LzwEntry {
  std::uint16_t length;  // characters in the string
  std::uint16_t prefix;  // code of the string less its last character; LzwNoPrefix for roots
  std::uint8_t suffix;   // last character
};

struct LzwCodeTable {
  int capacity;          // entries allocated
  int count;             // entries in use
  LzwEntry* entries;     // follows the header
};

constexpr std::uint16_t LzwNoPrefix = 0xFFF;
constexpr int LzwMaxCodes = 4096;

// Room for max(1 << (minCodeSize + 1), 256) entries, the 1 << minCodeSize roots and the clear
// and stop codes in use. Null when out of memory.
LzwCodeTable* lzwTableCreate(int minCodeSize);
// Doubles the capacity. False when out of memory (the table is then still valid for
// lzwTableFree).
bool lzwTableGrow(LzwCodeTable*& table);
// Makes room for one more entry, doubling the capacity when it is used up.
inline bool lzwTableReserve(LzwCodeTable*& table) {
  return table->count < table->capacity || lzwTableGrow(table);
}
void lzwTableFree(LzwCodeTable* table);
