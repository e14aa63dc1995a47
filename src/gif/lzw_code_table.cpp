#include "gif/lzw_code_table.h"

#include <algorithm>
#include <cstdlib>

namespace {
LzwCodeTable* allocateTable(LzwCodeTable* old, int capacity) {
  void* memory = std::realloc(old, sizeof(LzwCodeTable) + sizeof(LzwEntry) * capacity);
  if (!memory) return nullptr;
  auto* table = static_cast<LzwCodeTable*>(memory);
  table->capacity = capacity;
  table->entries = reinterpret_cast<LzwEntry*>(table + 1);
  return table;
}
}  // namespace

LzwCodeTable* lzwTableCreate(int minCodeSize) {
  int roots = 1 << minCodeSize;
  LzwCodeTable* table = allocateTable(nullptr, std::max(roots * 2, 256));
  if (!table) return nullptr;
  for (int i = 0; i < roots; ++i)
    table->entries[i] = {1, LzwNoPrefix, static_cast<std::uint8_t>(i)};
  table->count = roots + 2;
  return table;
}

bool lzwTableGrow(LzwCodeTable*& table) {
  LzwCodeTable* grown = allocateTable(table, table->capacity * 2);
  if (!grown) return false;
  table = grown;
  return true;
}

void lzwTableFree(LzwCodeTable* table) { std::free(table); }
