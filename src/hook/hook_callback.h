#pragma once
// A hook's list of callbacks. Each slot holds the kind of std::function it was connected with,
// which decides what it is given: nothing, the hooked arguments, the registers, the Info, or
// the hook itself (each of the last three followed by the hooked arguments).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <type_traits>
#include <utility>
#include <variant>

#include "hook/engine_log.h"
#include "hook/calling_convention.h"
#include "hook/hook_context.h"
#include "hook/member_address.h"

namespace KelHook {

namespace detail {

template <class HookType, class... Args>
struct CallbackSlot {
  using type = std::variant<std::function<void()>, std::function<void(Args...)>,
                            std::function<void(CPU&, Args...)>,
                            std::function<void(Info&, Args...)>,
                            std::function<void(HookType&, Args...)>>;
};

// Without hooked arguments, "the arguments alone" would repeat the plain callback.
template <class HookType>
struct CallbackSlot<HookType> {
  using type = std::variant<std::function<void()>, std::function<void(CPU&)>,
                            std::function<void(Info&)>, std::function<void(HookType&)>>;
};

// The first alternative that can hold `F`, in table order.
template <class Variant, class F, std::size_t I = 0>
constexpr std::size_t acceptingAlternative() {
  if constexpr (I == std::variant_size_v<Variant>) {
    return I;
  } else if constexpr (std::is_constructible_v<std::variant_alternative_t<I, Variant>, F>) {
    return I;
  } else {
    return acceptingAlternative<Variant, F, I + 1>();
  }
}

}  // namespace detail

template <class HookType, class... Args>
class Callback {
 public:
  using Slot = typename detail::CallbackSlot<HookType, Args...>::type;

  Callback() = default;
  Callback(const Callback&) = delete;
  Callback& operator=(const Callback&) = delete;

  // Any callable that one of the slot kinds can hold; ids of disconnected slots come back
  // oldest first.
  template <class F>
  unsigned connect(F&& callback) {
    constexpr std::size_t index = detail::acceptingAlternative<Slot, F>();
    static_assert(index < std::variant_size_v<Slot>, "no callback kind of this hook takes it");
    return place(Slot(std::in_place_index<index>, std::forward<F>(callback)));
  }

  template <class T, class... CallbackArgs>
  unsigned connect_method(T* object, void (T::*method)(CallbackArgs...)) {
    using Function = std::function<void(CallbackArgs...)>;
    constexpr std::size_t index = detail::acceptingAlternative<Slot, Function>();
    static_assert(index < std::variant_size_v<Slot> &&
                      std::is_same_v<std::variant_alternative_t<index, Slot>, Function>,
                  "the method's parameters match no callback kind of this hook");
    // Resolved once to its code and `this`: the slot then makes one plain call per pass and
    // fits in the std::function itself.
    const MemberTarget target = resolveMember(object, method);
    using Code = void(KEL_THISCALL*)(void*, CallbackArgs...);
    const auto code = reinterpret_cast<Code>(std::uintptr_t{target.function});
    void* self = target.object;
    return place(Slot(std::in_place_index<index>, Function([code, self](CallbackArgs... a) {
                        code(self, std::forward<CallbackArgs>(a)...);
                      })));
  }

  // Disconnecting the last slot shrinks the list; any other becomes a no-op whose id is
  // reused later.
  void disconnect(unsigned id) {
    std::lock_guard<std::mutex> lock(mutex);
    if (id >= slots.size()) return;
    for (unsigned freeId : freeIds)
      if (freeId == id) return;
    if (id + 1 == slots.size()) {
      slots.pop_back();
      slotCount.store(static_cast<std::uint32_t>(slots.size()), std::memory_order_release);
      return;
    }
    slots[id] = Slot(std::in_place_index<0>, [] {});
    freeIds.push_back(id);
  }

  // Runs the slots that exist now, in order; takes no lock.
  void operator()(HookType* hook, Info* info, std::remove_reference_t<Args>*... args) {
    const std::size_t count = slotCount.load(std::memory_order_relaxed);
    for (std::size_t id = 0; id < count; ++id) run(slots[id], hook, info, args...);
  }

  std::deque<Slot> slots;
  std::list<unsigned> freeIds;
  std::mutex mutex;
  // slots.size(), kept where a stub can read it in one load: a hook's stub calls nothing for
  // a list that is empty.
  std::atomic<std::uint32_t> slotCount{0};

 private:
  template <std::size_t I>
  static void call(Slot& slot, HookType* hook, Info* info,
                   std::remove_reference_t<Args>*... args) {
    if constexpr (I < std::variant_size_v<Slot>) {
      auto& callback = *std::get_if<I>(&slot);
      using F = std::decay_t<decltype(callback)>;
      if constexpr (std::is_same_v<F, std::function<void()>>) {
        callback();
      } else if constexpr (std::is_same_v<F, std::function<void(Args...)>>) {
        callback(*args...);
      } else if constexpr (std::is_same_v<F, std::function<void(CPU&, Args...)>>) {
        callback(*info->cpu, *args...);
      } else if constexpr (std::is_same_v<F, std::function<void(Info&, Args...)>>) {
        callback(*info, *args...);
      } else {
        callback(*hook, *args...);
      }
    }
  }

  // Runs on every pass of the host through the hook, hence no std::visit.
  static void run(Slot& slot, HookType* hook, Info* info, std::remove_reference_t<Args>*... args) {
    // Compared in turn: direct branches, which cost less than a jump table's indirect one.
    const std::size_t index = slot.index();
    if (index == 0) return call<0>(slot, hook, info, args...);
    if (index == 1) return call<1>(slot, hook, info, args...);
    if (index == 2) return call<2>(slot, hook, info, args...);
    if (index == 3) return call<3>(slot, hook, info, args...);
    if (index == 4) return call<4>(slot, hook, info, args...);
    // A slot left without a value.
    writeLog(true, "Skip callback - unknown type");
  }

  unsigned place(Slot slot) {
    std::lock_guard<std::mutex> lock(mutex);
    if (freeIds.empty()) {
      slots.push_back(std::move(slot));
      slotCount.store(static_cast<std::uint32_t>(slots.size()), std::memory_order_release);
      return static_cast<unsigned>(slots.size() - 1);
    }
    const unsigned id = freeIds.front();
    freeIds.pop_front();
    slots[id] = std::move(slot);
    return id;
  }
};

}  // namespace KelHook
