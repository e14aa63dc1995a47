#pragma once
// How generated stubs enter C++: member functions with `this` in ECX that remove their own
// stack argument. Host code reaches a stub with whatever stack alignment it has, so GCC is
// told not to assume the 16 bytes it would otherwise.
#include "hook/calling_convention.h"

#if defined(__GNUC__) && defined(__i386__)
#define KEL_STUB_ENTRY KEL_THISCALL __attribute__((force_align_arg_pointer))
#else
#define KEL_STUB_ENTRY KEL_THISCALL
#endif
