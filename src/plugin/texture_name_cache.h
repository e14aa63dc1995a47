#pragma once
// What a texture record's name resolved to, remembered per record. The game passes the same
// records through its texture sites thousands of times a frame; comparing a record's 32 name
// bytes with those seen last time costs far less than looking the name up. The game reuses
// records, so a record whose name bytes changed is looked up again. Records share a fixed
// number of slots, chosen by address; a slot holds the name bytes it was filled from, so two
// records that meet in one take turns and never get each other's value. Nothing is allocated
// after construction and nothing locks: all of it runs on the game's drawing thread.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "host/host.h"
#include "plugin/word_difference.h"

namespace TextureNames {

// The name fills at most its 32 bytes; a name without a terminating zero ends there.
inline std::string_view nameOf(const void* record) {
  const char* name = static_cast<const char*>(record) + Host::TextureNameOffset;
  return std::string_view(name, std::find(name, name + Host::TextureNameSize, '\0') - name);
}

}  // namespace TextureNames

template <typename Value>
class TextureNameCache {
 public:
  static constexpr int SlotBits = 12;

  TextureNameCache() : slots_(std::make_unique<Slot[]>(std::size_t{1} << SlotBits)) {}

  // The value for the record's name: remembered when the record's slot was filled from the same
  // name bytes, otherwise resolve(name) (a Value*, null for none), which is then remembered.
  template <typename Resolve>
  Value* find(const void* record, Resolve&& resolve) {
    const char* name = static_cast<const char*>(record) + Host::TextureNameOffset;
    Slot& slot = slots_[slotOf(record)];
    if (slot.filled && sameName(slot.name, name)) return slot.value;
    Value* value = resolve(TextureNames::nameOf(record));
    slot.filled = true;
    std::memcpy(slot.name, name, sizeof slot.name);
    slot.value = value;
    return value;
  }

  // Forgets everything: what the names resolve to has changed.
  void clear() { std::fill_n(slots_.get(), std::size_t{1} << SlotBits, Slot{}); }

 private:
  struct Slot {
    bool filled = false;
    char name[Host::TextureNameSize] = {};
    Value* value = nullptr;
  };

  static std::size_t slotOf(const void* record) {
    // Records lie at least 8 bytes apart; a multiplicative hash spreads neighbours over slots.
    const auto bits = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(record) >> 3);
    return (bits * 2654435761u) >> (32 - SlotBits);
  }

  // All 32 bytes, those after the terminating zero too: a difference there only costs a lookup.
  static bool sameName(const char* a, const char* b) {
    return wordDifference<Host::TextureNameSize>(a, b) == 0;
  }

  std::unique_ptr<Slot[]> slots_;
};
