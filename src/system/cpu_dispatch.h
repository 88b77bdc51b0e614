#pragma once

// Code compiled for several processors, the one that runs chosen when the program starts.

// Marks a function whose loops over pixels are worth compiling twice: for processors with AVX2
// (twice the vector width) and for any x86-64; the program picks one when it starts.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUARNEL_PIXEL_LOOPS __attribute__((target_clones("avx2", "default")))
#else
#define QUARNEL_PIXEL_LOOPS
#endif

// Set where hand-written AVX2 code can be built (x86-64 with GCC or clang); it runs only where
// CpuHasAvx2() says so.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUARNEL_HAS_AVX2_CODE 1
#else
#define QUARNEL_HAS_AVX2_CODE 0
#endif

namespace quarnel {

// True when the processor runs AVX2 instructions.
inline bool CpuHasAvx2() {
#if QUARNEL_HAS_AVX2_CODE
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace quarnel
