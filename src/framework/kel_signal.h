#pragma once
// A signal: ordered slots called in turn on every emission. A slot is a plain callback or a
// coroutine callback that yields the milliseconds it wants to sleep; emissions that come
// earlier pass it by. Ids are slot positions; ids of disconnected slots are reused, oldest
// first. Emissions run on one thread and take no lock; any thread may connect meanwhile. A slot
// may disconnect itself or later slots during an emission on its own thread; disconnecting from
// another thread a slot that an emission may be running is not supported.
#include <atomic>
#include <boost/context/fixedsize_stack.hpp>
#include <boost/coroutine2/coroutine.hpp>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <variant>
#include <vector>

#include "framework/clock.h"

template <class... Args>
class KelSignal {
 public:
  using Coroutine = boost::coroutines2::coroutine<unsigned>;
  using PlainCallback = std::function<void(Args...)>;
  using CoroutineCallback = std::function<void(typename Coroutine::push_type&, Args...)>;

  static constexpr unsigned NoSlot = 0xFFFFFFFFu;
  static constexpr std::size_t CoroutineStackSize = 65536;

  KelSignal() = default;
  KelSignal(const KelSignal&) = delete;
  KelSignal& operator=(const KelSignal&) = delete;

  unsigned connect(PlainCallback callback) { return place(new Slot(std::move(callback))); }

  template <class T>
  unsigned connect(T* object, void (T::*method)(Args...)) {
    return connect([object, method](Args... args) { (object->*method)(args...); });
  }

  unsigned connectCoroutine(CoroutineCallback callback) { return place(new Slot(std::move(callback))); }

  // A slot destroyed here is destroyed after the lock is released (its destructor may use this
  // signal), or, during an emission, when the outermost one ends.
  void disconnect(unsigned id) {
    Slot* dead = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex);
      const std::size_t count = count_.load(std::memory_order_relaxed);
      if (id >= count) return;
      for (unsigned freeId : freeIds)
        if (freeId == id) return;
      dead = entry(id).exchange(id + 1 == count ? nullptr : freeSlot(), std::memory_order_acq_rel);
      if (id + 1 == count) {
        count_.store(count - 1, std::memory_order_release);
      } else {
        freeIds.push_back(id);
      }
      if (emissions.load(std::memory_order_relaxed) != 0) {
        retired.emplace_back(dead);
        hasRetired.store(true, std::memory_order_relaxed);
        dead = nullptr;
      }
    }
    delete dead;
  }

  // The number of slot positions (free ones included), for generated code that calls an
  // emission only when there is something to call.
  const std::atomic<std::size_t>& slotCount() const { return count_; }

  bool hasConnections() const {
    std::lock_guard<std::mutex> lock(mutex);
    return count_.load(std::memory_order_relaxed) > freeIds.size();
  }

  // Exceptions of slots (and of coroutine bodies) leave at once; later slots are not called.
  void operator()(Args... args) {
    const std::size_t count = count_.load(std::memory_order_acquire);
    if (count == 0) return;
    EmissionScope scope(*this);
    // The count is read again for each slot: a slot may disconnect a later one (the last one
    // among them).
    for (std::size_t id = 0; id < count && id < count_.load(std::memory_order_acquire); ++id) {
      Slot& slot = *entry(id).load(std::memory_order_acquire);
      if (!slot.isCoroutine) {
        std::get<0>(slot.callback)(args...);
      } else {
        runCoroutine(slot, args...);
      }
    }
  }

  ~KelSignal() {
    const std::size_t count = count_.load();
    for (std::size_t id = 0; id < count; ++id) {
      Slot* slot = entry(id).load();
      if (slot != freeSlot()) delete slot;
    }
    for (std::size_t chunk = 0; chunk < ChunkCount; ++chunk) delete[] chunks[chunk].load();
  }

 private:
  struct Slot {
    explicit Slot(PlainCallback plain) : callback(std::move(plain)) {}
    explicit Slot(CoroutineCallback body) : callback(std::move(body)), isCoroutine(true) {}

    std::variant<PlainCallback, CoroutineCallback> callback;
    std::unique_ptr<typename Coroutine::pull_type> coroutine;
    std::int64_t wakeTime = 0;  // nanoseconds on the module's clock
    bool isCoroutine = false;
  };

  // The slot of a freed id: one that does nothing, shared and never destroyed, so that taking
  // the id over destroys nothing an emission on another thread may be calling.
  static Slot* freeSlot() {
    static Slot* const slot = new Slot(PlainCallback([](Args...) {}));
    return slot;
  }

  // The slots live in chunks that never move (chunk k holds FirstChunkSize << k of them), so an
  // emission, which takes no lock, may read them while another thread connects.
  static constexpr std::size_t FirstChunkSize = 8;
  static constexpr std::size_t ChunkCount = 26;
  using Entry = std::atomic<Slot*>;

  Entry& entry(std::size_t id) const {
    std::size_t chunk = 0;
    std::size_t start = 0;
    while (id >= start + (FirstChunkSize << chunk)) start += FirstChunkSize << chunk++;
    return chunks[chunk].load(std::memory_order_acquire)[id - start];
  }

  // Counts nested emissions (they run on one thread); disconnected slots live until the
  // outermost one ends, so that a slot may disconnect itself while it runs.
  class EmissionScope {
   public:
    explicit EmissionScope(KelSignal& signal) : signal(signal) {
      signal.emissions.store(signal.emissions.load(std::memory_order_relaxed) + 1,
                             std::memory_order_relaxed);
    }
    ~EmissionScope() {
      const unsigned left = signal.emissions.load(std::memory_order_relaxed) - 1;
      signal.emissions.store(left, std::memory_order_relaxed);
      if (left != 0 || !signal.hasRetired.load(std::memory_order_relaxed)) return;
      std::vector<std::unique_ptr<Slot>> dead;
      {
        std::lock_guard<std::mutex> lock(signal.mutex);
        dead.swap(signal.retired);
        signal.hasRetired.store(false, std::memory_order_relaxed);
      }
    }

   private:
    KelSignal& signal;
  };

  unsigned place(Slot* slot) {
    Slot* dead = nullptr;
    unsigned id = 0;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (freeIds.empty()) {
        const std::size_t count = count_.load(std::memory_order_relaxed);
        ensureChunkFor(count);
        entry(count).store(slot, std::memory_order_release);
        count_.store(count + 1, std::memory_order_release);
        return static_cast<unsigned>(count);
      }
      id = freeIds.front();
      freeIds.pop_front();
      dead = entry(id).exchange(slot, std::memory_order_acq_rel);
    }
    if (dead != freeSlot()) delete dead;
    return id;
  }

  // Called under the mutex.
  void ensureChunkFor(std::size_t id) {
    std::size_t chunk = 0;
    std::size_t start = 0;
    while (id >= start + (FirstChunkSize << chunk)) start += FirstChunkSize << chunk++;
    if (chunk >= ChunkCount) throw std::length_error("KelSignal: too many slots");
    if (!chunks[chunk].load(std::memory_order_relaxed))
      chunks[chunk].store(new Entry[FirstChunkSize << chunk](), std::memory_order_release);
  }

  void runCoroutine(Slot& slot, Args&... args) {
    if (KelClock::nowNs() < slot.wakeTime) return;
    if (slot.coroutine && *slot.coroutine) {
      (*slot.coroutine)();
    } else {
      slot.coroutine.reset();
      CoroutineCallback body = std::get<1>(slot.callback);
      // The body runs at once, up to its first yield or its end.
      slot.coroutine = std::make_unique<typename Coroutine::pull_type>(
          boost::context::fixedsize_stack(CoroutineStackSize),
          [body = std::move(body), args...](typename Coroutine::push_type& sink) mutable {
            body(sink, args...);
          });
    }
    if (*slot.coroutine)
      slot.wakeTime =
          KelClock::nowNs() + static_cast<std::int64_t>(slot.coroutine->get()) * 1'000'000;
  }

  mutable std::atomic<Entry*> chunks[ChunkCount] = {};
  std::atomic<std::size_t> count_{0};
  std::list<unsigned> freeIds;
  mutable std::mutex mutex;
  std::atomic<unsigned> emissions{0};
  std::atomic<bool> hasRetired{false};
  std::vector<std::unique_ptr<Slot>> retired;  // disconnected during an emission
};
