#pragma once
// For the few functions on the path of every hooked pass, where the call into them costs more
// than their body and the compiler's own judgement keeps them out of line.
#if defined(_MSC_VER)
#define VELQUOR_ALWAYS_INLINE __forceinline
#else
#define VELQUOR_ALWAYS_INLINE inline __attribute__((always_inline))
#endif
