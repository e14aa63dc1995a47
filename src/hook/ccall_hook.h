#pragma once
// A call-site hook: the bytes at `address` are diverted into a stub that calls one function
// before, after or instead of them. The patch and the stub stay for the rest of the process;
// destroying the hook only removes the callback.
#include <cstdint>
#include <type_traits>

#include "hook/calling_convention.h"
#include "hook/member_address.h"

namespace KelHook {
class CodeBuffer;
}

class CCallHook {
 public:
  enum Placement : std::uint32_t { Replace = 0, After = 1, Before = 2 };
  enum Flags : std::uint32_t { SaveRegisters = 1, SaveFlags = 2 };

  // Patches `length` (>= 5) bytes at `address`, which must hold whole instructions of which
  // only the first may carry a relative displacement. `callMode` 1 patches with a call and
  // ends the stub with ret (only when argCount is 0).
  CCallHook(std::uint32_t address, std::uint32_t length, std::uint32_t argCount,
            std::uint32_t placement, std::uint32_t flags, std::uint32_t callMode);
  virtual ~CCallHook();
  CCallHook(const CCallHook&) = delete;
  CCallHook& operator=(const CCallHook&) = delete;

  // A member function called with `object` in ECX and one pointer per stack argument.
  template <class T, class... A>
  void setCallback(T* object, void (KEL_THISCALL T::*method)(A...)) {
    static_assert(sizeof...(A) == 0 || (std::is_pointer_v<A> && ...),
                  "the callback gets addresses of stack arguments");
    KelHook::MemberTarget target = KelHook::resolveMember(object, method);
    function = target.function;
    this->object = target.object;
    isMethod = 1;
    writeCallback();
  }
  // The member form with `function` and `object` already stored by the owner.
  void setCallback();
  // A plain function that removes its own arguments (stdcall).
  template <class... A>
  void setCallback(void (KEL_STDCALL* plain)(A...)) {
    setPlainCallback(reinterpret_cast<const void*>(plain));
  }
  void setPlainCallback(const void* plain);
  // Only the diverted instructions run from now on.
  void clearCallback();

  std::uint8_t* savedBytes;
  std::uint32_t length;
  std::uint32_t argCount;
  std::uint32_t argBase = 4;
  std::uint32_t callbackStart = 0;
  std::uint32_t address;
  std::uint32_t placement;
  std::uint32_t function = 0;
  void* object = nullptr;
  std::uint32_t isMethod = 0;
  std::uint32_t callMode;
  std::uint32_t flags;
  std::uint32_t registers[8] = {};
  KelHook::CodeBuffer* code;

 private:
  std::uint32_t callbackAreaSize() const;
  void fillCallbackArea();
  void emitCopyHere();
  void writeCallback();

  std::uint32_t copyPosition;  // where the relocated copy in `savedBytes` is meant to run
};
