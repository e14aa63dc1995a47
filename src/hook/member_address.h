#pragma once
// The code address of a member function and the `this` it expects in ECX, so that generated
// code can call it directly. Single inheritance only.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace KelHook {

struct MemberTarget {
  std::uint32_t function = 0;
  void* object = nullptr;
};

template <class T, class Method>
MemberTarget resolveMember(T* object, Method method) {
  MemberTarget target;
  if (!object || !method) return target;
#if defined(_MSC_VER)
  static_assert(sizeof(Method) == sizeof(void*), "only single inheritance is supported");
  // A single-inheritance member pointer is the code address (or a vcall thunk).
  void* code;
  std::memcpy(&code, &method, sizeof(code));
  target.function = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(code));
  target.object = object;
#else
  // Itanium layout: {function address or 1 + vtable offset, this adjustment}.
  struct Raw {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  };
  static_assert(sizeof(Method) == sizeof(Raw), "unexpected member function pointer layout");
  Raw raw;
  std::memcpy(&raw, &method, sizeof(raw));
  char* self = reinterpret_cast<char*>(object) + raw.adjustment;
  std::uintptr_t code = raw.pointer;
  if (code & 1) {
    char* vtable = *reinterpret_cast<char**>(self);
    code = *reinterpret_cast<std::uintptr_t*>(vtable + code - 1);
  }
  target.function = static_cast<std::uint32_t>(code);
  target.object = self;
#endif
  return target;
}

}  // namespace KelHook
