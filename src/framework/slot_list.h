#pragma once
// The ordered list of slots behind a signal and behind a hook's callbacks. Ids are positions;
// the id of a removed slot is reused, oldest first, and removing the last slot shrinks the list.
//
// Emissions walk the list without a lock; any thread may add slots meanwhile (the slots live in
// chunks that never move). A slot may remove itself or later slots during an emission on its
// own thread: it is destroyed when the last emission running ends, never earlier. Removing from
// another thread a slot that an emission may be running is not supported.
//
// Emissions may run on several threads at once: they are counted atomically. A list whose
// owner makes sure that one thread at a time emits (`OneEmitter`: a hook's callbacks, run only
// by the pass that holds the hook) counts them with plain loads and stores, which cost less on
// every pass.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "framework/always_inline.h"

template <class Slot, bool OneEmitter = false>
class SlotList {
  // Chunk k holds FirstChunkSize << k entries.
  static constexpr std::size_t FirstChunkSize = 8;
  static constexpr std::size_t ChunkCount = 26;
  using Entry = std::atomic<Slot*>;

 public:
  SlotList() = default;
  SlotList(const SlotList&) = delete;
  SlotList& operator=(const SlotList&) = delete;

  ~SlotList() {
    const std::size_t positions = count_.load();
    for (std::size_t id = 0; id < positions; ++id) delete entry(id).load();
    for (auto& chunk : chunks) delete[] chunk.load();
  }

  unsigned add(std::unique_ptr<Slot> slot) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!freeIds.empty()) {
      const unsigned id = freeIds.front();
      freeIds.pop_front();
      entry(id).store(slot.release(), std::memory_order_release);
      return id;
    }
    const std::uint32_t id = count_.load(std::memory_order_relaxed);
    ensureChunkFor(id);
    entry(id).store(slot.release(), std::memory_order_release);
    count_.store(id + 1, std::memory_order_release);
    return id;
  }

  // Nothing happens for an id that holds no slot. The slot is destroyed after the lock is
  // released (its destructor may use the list's owner), or, during an emission, when the
  // outermost one ends.
  void remove(unsigned id) {
    std::unique_ptr<Slot> dead;
    {
      std::lock_guard<std::mutex> lock(mutex);
      const std::uint32_t positions = count_.load(std::memory_order_relaxed);
      if (id >= positions) return;
      dead.reset(entry(id).exchange(nullptr, std::memory_order_acq_rel));
      if (!dead) return;
      if (id + 1 == positions) {
        count_.store(positions - 1, std::memory_order_release);
      } else {
        freeIds.push_back(id);
      }
      if (emissions.load() != 0) {
        retired.push_back(std::move(dead));
        hasRetired.store(true);
      }
    }
  }

  // One emission's walk over the slots, in id order:
  //   for (auto walk = list.emission(); Slot* slot = walk.next();) ...
  // A position whose slot was removed, during this walk too, holds null and is passed by; the
  // chunks stay while the list lives, so positions past a count that shrank meanwhile are still
  // there to read.
  class Emission {
   public:
    explicit Emission(SlotList& list)
        : list(list), positions(list.count_.load(std::memory_order_acquire)) {
      if (positions == 0) return;
      list.countEmission(1);
      first = list.chunks[0].load(std::memory_order_acquire);
    }
    ~Emission() {
      if (positions == 0) return;
      if (list.countEmission(-1) == 0 && list.hasRetired.load()) list.destroyRetired();
    }
    Emission(const Emission&) = delete;
    Emission& operator=(const Emission&) = delete;

    VELQUOR_ALWAYS_INLINE Slot* next() {
      while (id < positions) {
        const std::uint32_t at = id++;
        Entry& entry = at < FirstChunkSize ? first[at] : list.entry(at);
        if (Slot* slot = entry.load(std::memory_order_acquire)) return slot;
      }
      return nullptr;
    }

   private:
    SlotList& list;
    const std::uint32_t positions;
    std::uint32_t id = 0;
    Entry* first = nullptr;
  };

  // Emissions nest (a slot may emit again).
  Emission emission() { return Emission(*this); }

  // The number of positions, free ones included, in one 32-bit cell: generated code reads it
  // to call an emission only when there is something to call.
  const std::atomic<std::uint32_t>& count() const { return count_; }

  bool empty() const {
    std::lock_guard<std::mutex> lock(mutex);
    return count_.load(std::memory_order_relaxed) == freeIds.size();
  }

 private:

  static std::size_t chunkOf(std::size_t id, std::size_t& start) {
    std::size_t chunk = 0;
    start = 0;
    while (id >= start + (FirstChunkSize << chunk)) start += FirstChunkSize << chunk++;
    return chunk;
  }

  Entry& entry(std::size_t id) const {
    // Most lists never leave their first chunk.
    if (id < FirstChunkSize) return chunks[0].load(std::memory_order_acquire)[id];
    std::size_t start = 0;
    const std::size_t chunk = chunkOf(id, start);
    return chunks[chunk].load(std::memory_order_acquire)[id - start];
  }

  // Called under the mutex.
  void ensureChunkFor(std::size_t id) {
    std::size_t start = 0;
    const std::size_t chunk = chunkOf(id, start);
    if (chunk >= ChunkCount) throw std::length_error("too many slots");
    if (!chunks[chunk].load(std::memory_order_relaxed))
      chunks[chunk].store(new Entry[FirstChunkSize << chunk](), std::memory_order_release);
  }

  // Returns the emissions running now.
  VELQUOR_ALWAYS_INLINE unsigned countEmission(int change) {
    if constexpr (OneEmitter) {
      const unsigned now = emissions.load(std::memory_order_relaxed) + change;
      emissions.store(now, std::memory_order_relaxed);
      return now;
    } else {
      return emissions.fetch_add(static_cast<unsigned>(change)) + change;
    }
  }

  // Kept out of the walk's own code, which stays small enough to be inlined.
  // An emission that began since the count fell to 0 cannot have met a retired slot, but one
  // that was removed after it began may be in its walk: that one waits for it to end.
  void destroyRetired() {
    std::vector<std::unique_ptr<Slot>> dead;  // destroyed after the lock is released
    std::lock_guard<std::mutex> lock(mutex);
    if (emissions.load() != 0) return;
    dead.swap(retired);
    hasRetired.store(false);
  }

  mutable std::atomic<Entry*> chunks[ChunkCount] = {};
  std::atomic<std::uint32_t> count_{0};
  std::list<unsigned> freeIds;
  mutable std::mutex mutex;
  std::atomic<unsigned> emissions{0};
  std::atomic<bool> hasRetired{false};
  std::vector<std::unique_ptr<Slot>> retired;  // removed during an emission
};
