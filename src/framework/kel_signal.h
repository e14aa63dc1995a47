#pragma once
// A signal: ordered slots called in turn on every emission. A slot is a plain callback or a
// coroutine callback that yields the milliseconds it wants to sleep; emissions that come
// earlier pass it by. Ids are slot positions; ids of disconnected slots are reused, oldest
// first.
#include <atomic>
#include <boost/context/fixedsize_stack.hpp>
#include <boost/coroutine2/coroutine.hpp>
#include <cstdint>
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
    return place(std::make_shared<Slot>(std::move(callback)));
  }

  template <class T>
  unsigned connect(T* object, void (T::*method)(Args...)) {
    return connect([object, method](Args... args) { (object->*method)(args...); });
  }

  unsigned connectCoroutine(CoroutineCallback callback) {
    return place(std::make_shared<Slot>(std::move(callback)));
  }

  void disconnect(unsigned id) {
    Graveyard dead;
    {
      std::lock_guard<std::mutex> lock(mutex);
      const Table& now = *table.load();
      if (id >= now.count()) return;
      for (unsigned freeId : freeIds)
        if (freeId == id) return;
      if (id + 1 == now.count()) {
        publish(now.without(id), dead);
      } else {
        publish(now.with(id, std::make_shared<Slot>(PlainCallback([](Args...) {}))), dead);
        freeIds.push_back(id);
      }
    }
  }

  bool hasConnections() const {
    std::lock_guard<std::mutex> lock(mutex);
    return table.load()->count() > freeIds.size();
  }

  // Exceptions of slots (and of coroutine bodies) leave at once; later slots are not called.
  void operator()(Args... args) {
    if (table.load()->count() == 0) return;
    EmissionScope scope(*this);
    const std::size_t count = table.load()->count();
    // The table is read again for each slot: a slot may disconnect a later one (the last one
    // among them) and another thread may connect meanwhile.
    for (std::size_t id = 0; id < count; ++id) {
      const Table& now = *table.load();
      if (id >= now.count()) break;
      Slot& slot = *now.slots[id];
      if (!slot.isCoroutine) {
        std::get<0>(slot.callback)(args...);
      } else {
        runCoroutine(slot, args...);
      }
    }
  }

  ~KelSignal() { delete table.load(); }

 private:
  struct Slot {
    explicit Slot(PlainCallback plain) : callback(std::move(plain)) {}
    explicit Slot(CoroutineCallback body) : callback(std::move(body)), isCoroutine(true) {}

    std::variant<PlainCallback, CoroutineCallback> callback;
    std::unique_ptr<typename Coroutine::pull_type> coroutine;
    std::int64_t wakeTime = 0;  // nanoseconds on the module's clock
    bool isCoroutine = false;
  };

  // The slots as one emission sees them. A change builds a new table and publishes it, so an
  // emission (which takes no lock) never reads a list that another thread is growing; tables
  // and slots that are replaced live on until no emission can still be reading them.
  struct Table {
    std::vector<std::shared_ptr<Slot>> slots;
    std::size_t count() const { return slots.size(); }
    Table* with(std::size_t id, std::shared_ptr<Slot> slot) const {
      auto* next = new Table{slots};
      if (id == slots.size())
        next->slots.push_back(std::move(slot));
      else
        next->slots[id] = std::move(slot);
      return next;
    }
    Table* without(std::size_t last) const {
      auto* next = new Table{slots};
      next->slots.resize(last);
      return next;
    }
  };

  // What a change replaced; destroyed when it goes out of scope, after the lock is released,
  // so that a slot's destructor may use this signal.
  struct Graveyard {
    std::vector<std::unique_ptr<Table>> tables;
  };

  // Counts running emissions (on any thread); replaced tables wait until none runs.
  class EmissionScope {
   public:
    // The count goes up before the walk reads the table (a full fence: a change on another
    // thread then either sees it or published its table before the walk read it).
    explicit EmissionScope(KelSignal& signal) : signal(signal) { signal.emissions.fetch_add(1); }
    ~EmissionScope() {
      if (signal.emissions.fetch_sub(1) != 1 || !signal.hasRetired.load()) return;
      Graveyard dead;
      std::lock_guard<std::mutex> lock(signal.mutex);
      // An emission that started after the count fell to 0 sees only the current table.
      if (signal.emissions.load() != 0) return;
      dead.tables.swap(signal.retired);
      signal.hasRetired = false;
    }

   private:
    KelSignal& signal;
  };

  unsigned place(std::shared_ptr<Slot> slot) {
    Graveyard dead;
    std::lock_guard<std::mutex> lock(mutex);
    const Table& now = *table.load();
    if (freeIds.empty()) {
      publish(now.with(now.count(), std::move(slot)), dead);
      return static_cast<unsigned>(now.count());
    }
    const unsigned id = freeIds.front();
    freeIds.pop_front();
    publish(now.with(id, std::move(slot)), dead);
    return id;
  }

  // Called under the mutex: `next` replaces the table; the old one (with the slots only it
  // holds) goes to `dead` at once when no emission runs, else waits for the last one to end.
  void publish(Table* next, Graveyard& dead) {
    std::unique_ptr<Table> old(table.exchange(next));
    if (emissions.load() == 0) {
      dead.tables.push_back(std::move(old));
    } else {
      retired.push_back(std::move(old));
      hasRetired = true;
    }
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

  std::atomic<Table*> table{new Table};
  std::list<unsigned> freeIds;
  mutable std::mutex mutex;
  std::atomic<unsigned> emissions{0};
  std::atomic<bool> hasRetired{false};
  std::vector<std::unique_ptr<Table>> retired;
};
