#pragma once
// Calling conventions that generated x86 code relies on. Member functions that a stub calls
// take `this` in ECX and remove their own stack arguments (thiscall); MinGW does that by
// default for member functions, MSVC too, but spelling it out keeps both honest.
#if defined(_MSC_VER) && defined(_M_IX86)
#define KEL_THISCALL __thiscall
#define KEL_STDCALL __stdcall
#elif defined(__GNUC__) && defined(__i386__)
#define KEL_THISCALL __attribute__((thiscall))
#define KEL_STDCALL __attribute__((stdcall))
#else
// Other targets never run generated code; the headers still compile there.
#define KEL_THISCALL
#define KEL_STDCALL
#endif
