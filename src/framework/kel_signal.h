#pragma once
// A signal: ordered slots called in turn on every emission. A slot is a plain callback or a
// coroutine callback that yields the milliseconds it wants to sleep; emissions that come
// earlier pass it by. Ids, reuse and which threads may do what: see SlotList.
#include <boost/context/fixedsize_stack.hpp>
#include <boost/coroutine2/coroutine.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <variant>

#include "framework/always_inline.h"
#include "framework/clock.h"
#include "framework/slot_list.h"

// `OneEmitter`: the owner makes sure one thread at a time emits (see SlotList); KelSignal and
// OneEmitterSignal below name the two kinds.
template <bool OneEmitter, class... Args>
class BasicKelSignal {
 public:
  using Coroutine = boost::coroutines2::coroutine<unsigned>;
  using PlainCallback = std::function<void(Args...)>;
  using CoroutineCallback = std::function<void(typename Coroutine::push_type&, Args...)>;

  static constexpr unsigned NoSlot = 0xFFFFFFFFu;
  static constexpr std::size_t CoroutineStackSize = 65536;

  BasicKelSignal() = default;
  BasicKelSignal(const BasicKelSignal&) = delete;
  BasicKelSignal& operator=(const BasicKelSignal&) = delete;

  unsigned connect(PlainCallback callback) {
    return slots.add(std::make_unique<Slot>(std::move(callback)));
  }

  template <class T>
  unsigned connect(T* object, void (T::*method)(Args...)) {
    return connect([object, method](Args... args) { (object->*method)(args...); });
  }

  unsigned connectCoroutine(CoroutineCallback callback) {
    return slots.add(std::make_unique<Slot>(std::move(callback)));
  }

  void disconnect(unsigned id) { slots.remove(id); }

  // The number of slot positions (free ones included), for generated code that calls an
  // emission only when there is something to call.
  const std::atomic<std::uint32_t>& slotCount() const { return slots.count(); }

  bool hasConnections() const { return !slots.empty(); }

  // Exceptions of slots (and of coroutine bodies) leave at once; later slots are not called.
  VELQUOR_ALWAYS_INLINE void operator()(Args... args) {
    for (auto walk = slots.emission(); Slot* slot = walk.next();) {
      if (!slot->isCoroutine) {
        std::get<0>(slot->callback)(args...);
      } else {
        runCoroutine(*slot, args...);
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

  SlotList<Slot, OneEmitter> slots;
};

template <class... Args>
using KelSignal = BasicKelSignal<false, Args...>;
// A signal emitted by one thread at a time, such as a fast hook's, emitted only by the pass that
// holds the hook.
template <class... Args>
using OneEmitterSignal = BasicKelSignal<true, Args...>;
