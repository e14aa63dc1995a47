#pragma once
// A signal: ordered slots called in turn on every emission. A slot is a plain callback or a
// coroutine callback that yields the milliseconds it wants to sleep; emissions that come
// earlier pass it by. Ids are slot positions; ids of disconnected slots are reused, oldest
// first.
#include <atomic>
#include <boost/context/fixedsize_stack.hpp>
#include <boost/coroutine2/coroutine.hpp>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <variant>
#include <vector>

#include "framework/clock.h"

template <class... Args>
class KelSignal {
 public:
  using Coroutine = boost::coroutines2::coroutine<unsigned>;
  using PlainCallback = std::function<void(Args...)>;
  using CoroutineCallback = std::function<void(typename Coroutine::push_type&, Args...)>;

  static constexpr unsigned noSlot = 0xFFFFFFFFu;
  static constexpr std::size_t coroutineStackSize = 65536;

  KelSignal() = default;
  KelSignal(const KelSignal&) = delete;
  KelSignal& operator=(const KelSignal&) = delete;

  unsigned connect(PlainCallback callback) {
    return place(std::make_unique<Slot>(std::move(callback)));
  }

  template <class T>
  unsigned connect(T* object, void (T::*method)(Args...)) {
    return connect([object, method](Args... args) { (object->*method)(args...); });
  }

  unsigned connectCoroutine(CoroutineCallback callback) {
    return place(std::make_unique<Slot>(std::move(callback)));
  }

  void disconnect(unsigned id) {
    std::lock_guard<std::mutex> lock(mutex);
    if (id >= slots.size()) return;
    for (unsigned freeId : freeIds)
      if (freeId == id) return;
    if (id == slots.size() - 1) {
      retire(std::move(slots.back()));
      slots.pop_back();
      return;
    }
    retire(std::move(slots[id]));
    slots[id] = std::make_unique<Slot>(PlainCallback([](Args...) {}));
    freeIds.push_back(id);
  }

  bool hasConnections() const {
    std::lock_guard<std::mutex> lock(mutex);
    return slots.size() > freeIds.size();
  }

  // Exceptions of slots (and of coroutine bodies) leave at once; later slots are not called.
  void operator()(Args... args) {
    const std::size_t count = slots.size();
    if (count == 0) return;
    EmissionScope scope(*this);
    // A slot may disconnect the last one during the walk, so the bound is checked again.
    for (std::size_t id = 0; id < count && id < slots.size(); ++id) {
      Slot& slot = *slots[id];
      if (!slot.isCoroutine) {
        std::get<0>(slot.callback)(args...);
      } else {
        runCoroutine(slot, args...);
      }
    }
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

  // Counts nested emissions; disconnected slots live until the outermost one ends, so that a
  // slot may disconnect itself while it runs. Emissions of one signal run on one thread, so
  // the count needs no locked read-modify-write.
  class EmissionScope {
   public:
    explicit EmissionScope(KelSignal& signal) : signal(signal) {
      signal.emissions.store(signal.emissions.load(std::memory_order_relaxed) + 1,
                             std::memory_order_relaxed);
    }
    ~EmissionScope() {
      const unsigned left = signal.emissions.load(std::memory_order_relaxed) - 1;
      signal.emissions.store(left, std::memory_order_relaxed);
      if (left == 0 && signal.hasRetired.load()) {
        std::vector<std::unique_ptr<Slot>> dead;
        {
          std::lock_guard<std::mutex> lock(signal.mutex);
          dead.swap(signal.retired);
          signal.hasRetired = false;
        }
      }
    }

   private:
    KelSignal& signal;
  };

  unsigned place(std::unique_ptr<Slot> slot) {
    std::lock_guard<std::mutex> lock(mutex);
    if (freeIds.empty()) {
      slots.push_back(std::move(slot));
      return static_cast<unsigned>(slots.size() - 1);
    }
    unsigned id = freeIds.front();
    freeIds.pop_front();
    retire(std::move(slots[id]));
    slots[id] = std::move(slot);
    return id;
  }

  // Called under the mutex.
  void retire(std::unique_ptr<Slot> slot) {
    if (emissions.load(std::memory_order_relaxed) == 0) return;  // destroyed here
    retired.push_back(std::move(slot));
    hasRetired = true;
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
          boost::context::fixedsize_stack(coroutineStackSize),
          [body = std::move(body), args...](typename Coroutine::push_type& sink) mutable {
            body(sink, args...);
          });
    }
    if (*slot.coroutine)
      slot.wakeTime =
          KelClock::nowNs() + static_cast<std::int64_t>(slot.coroutine->get()) * 1'000'000;
  }

  std::deque<std::unique_ptr<Slot>> slots;
  std::list<unsigned> freeIds;
  mutable std::mutex mutex;
  std::atomic<unsigned> emissions{0};
  std::atomic<bool> hasRetired{false};
  std::vector<std::unique_ptr<Slot>> retired;
};
