#pragma once
// A hook's list of callbacks. Each slot holds the kind of std::function it was connected with,
// which decides what it is given: nothing, the hooked arguments, the registers, the Info, or
// the hook itself (each of the last three followed by the hooked arguments).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <variant>

#include "framework/always_inline.h"
#include "framework/slot_list.h"
#include "hook/engine_log.h"
#include "hook/calling_convention.h"
#include "hook/hook_context.h"
#include "hook/member_address.h"

namespace KelHook {

namespace detail {

// A member function resolved to its code and object, called without a std::function; `kind`
// is the index of the function kind whose parameters it takes.
struct BoundMember {
  std::uintptr_t code;
  void* self;
  std::size_t kind;
};

template <class HookType, class... Args>
struct CallbackSlot {
  using type = std::variant<std::function<void()>, std::function<void(Args...)>,
                            std::function<void(CPU&, Args...)>,
                            std::function<void(Info&, Args...)>,
                            std::function<void(HookType&, Args...)>, BoundMember>;
};

// Without hooked arguments, "the arguments alone" would repeat the plain callback.
template <class HookType>
struct CallbackSlot<HookType> {
  using type = std::variant<std::function<void()>, std::function<void(CPU&)>,
                            std::function<void(Info&)>, std::function<void(HookType&)>,
                            BoundMember>;
};

// The code of a member function taking the parameters of a function kind.
template <class Function>
struct MemberCode;
template <class... Params>
struct MemberCode<std::function<void(Params...)>> {
  using type = void(KEL_THISCALL*)(void*, Params...);
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

  // Any callable that one of the slot kinds can hold.
  template <class F>
  unsigned connect(F&& callback) {
    constexpr std::size_t index = detail::acceptingAlternative<Slot, F>();
    static_assert(index < BoundIndex, "no callback kind of this hook takes it");
    return place(Slot(std::in_place_index<index>, std::forward<F>(callback)));
  }

  template <class T, class... CallbackArgs>
  unsigned connect_method(T* object, void (T::*method)(CallbackArgs...)) {
    using Function = std::function<void(CallbackArgs...)>;
    constexpr std::size_t index = detail::acceptingAlternative<Slot, Function>();
    static_assert(index < BoundIndex &&
                      std::is_same_v<std::variant_alternative_t<index, Slot>, Function>,
                  "the method's parameters match no callback kind of this hook");
    // Resolved once to its code and `this`: a pass then makes one plain call.
    const MemberTarget target = resolveMember(object, method);
    return place(Slot(std::in_place_index<BoundIndex>,
                      detail::BoundMember{std::uintptr_t{target.function}, target.object, index}));
  }

  // Ids, reuse, and what may be disconnected during a pass: see SlotList.
  void disconnect(unsigned id) { slots.remove(id); }

  // Runs the slots in order; takes no lock.
  VELQUOR_ALWAYS_INLINE void operator()(HookType* hook, Info* info,
                                        std::remove_reference_t<Args>*... args) {
    for (auto walk = slots.emission(); Slot* slot = walk.next();) run(*slot, hook, info, args...);
  }

  // The number of slot positions, in the 32-bit cell a hook's stub reads: the stub calls
  // nothing for a list that is empty.
  const std::atomic<std::uint32_t>& slotCount() const { return slots.count(); }

 private:
  // The function kinds come first; the bound member is the last alternative.
  static constexpr std::size_t BoundIndex = std::variant_size_v<Slot> - 1;

  // Hands `callback` what function kind I is given.
  template <std::size_t I, class F>
  static void pass(F&& callback, HookType* hook, Info* info,
                   std::remove_reference_t<Args>*... args) {
    if constexpr (I < BoundIndex) {
      using Function = std::variant_alternative_t<I, Slot>;
      if constexpr (std::is_same_v<Function, std::function<void()>>) {
        callback();
      } else if constexpr (std::is_same_v<Function, std::function<void(Args...)>>) {
        callback(*args...);
      } else if constexpr (std::is_same_v<Function, std::function<void(CPU&, Args...)>>) {
        callback(*info->cpu, *args...);
      } else if constexpr (std::is_same_v<Function, std::function<void(Info&, Args...)>>) {
        callback(*info, *args...);
      } else {
        callback(*hook, *args...);
      }
    }
  }

  template <std::size_t I>
  static void call(Slot& slot, HookType* hook, Info* info,
                   std::remove_reference_t<Args>*... args) {
    if constexpr (I < BoundIndex) pass<I>(*std::get_if<I>(&slot), hook, info, args...);
  }

  template <std::size_t I>
  static void callMember(const detail::BoundMember& member, HookType* hook, Info* info,
                         std::remove_reference_t<Args>*... args) {
    if constexpr (I < BoundIndex) {
      using Code = typename detail::MemberCode<std::variant_alternative_t<I, Slot>>::type;
      const auto code = reinterpret_cast<Code>(member.code);
      void* const self = member.self;
      pass<I>([code, self](auto&&... a) { code(self, a...); }, hook, info, args...);
    }
  }

  // Runs on every pass of the host through the hook, hence no std::visit. Compared in turn:
  // direct branches, which cost less than a jump table's indirect one.
  VELQUOR_ALWAYS_INLINE static void run(Slot& slot, HookType* hook, Info* info, std::remove_reference_t<Args>*... args) {
    const std::size_t index = slot.index();
    if (index == BoundIndex) {
      const detail::BoundMember& member = *std::get_if<BoundIndex>(&slot);
      if (member.kind == 0) return callMember<0>(member, hook, info, args...);
      if (member.kind == 1) return callMember<1>(member, hook, info, args...);
      if (member.kind == 2) return callMember<2>(member, hook, info, args...);
      if (member.kind == 3) return callMember<3>(member, hook, info, args...);
      return callMember<4>(member, hook, info, args...);
    }
    if (index == 0) return call<0>(slot, hook, info, args...);
    if (index == 1) return call<1>(slot, hook, info, args...);
    if (index == 2) return call<2>(slot, hook, info, args...);
    if (index == 3) return call<3>(slot, hook, info, args...);
    if (index == 4) return call<4>(slot, hook, info, args...);
    // A slot left without a value.
    writeLog(true, "Skip callback - unknown type");
  }

  unsigned place(Slot slot) { return slots.add(std::make_unique<Slot>(std::move(slot))); }

  // Emitted only by the pass that holds the hook: one thread at a time.
  SlotList<Slot, true> slots;
};

}  // namespace KelHook
