#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace jet {

// Some libraries a program loads beside the engine (the GUI toolkit's start-up and its
// painting, on this project's machines) leave the upper halves of the AVX registers in use.
// Until something clears them, every SSE instruction that writes a vector register also waits
// for that register's old value, so the engine's copies and its reading of doubles form long
// chains: reading a 100,000-row table took 63 ms instead of 33 ms in the editor. The engine is
// built for plain x86-64 and cannot avoid SSE, so its long loops clear that state as they go;
// it costs one instruction, where the CPU has AVX at all.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
namespace detail {
__attribute__((target("avx"))) inline void zeroUpperHalves() { _mm256_zeroupper(); }
}  // namespace detail

inline void clearUpperVectorState() {
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) detail::zeroUpperHalves();
}
#else
inline void clearUpperVectorState() {}
#endif

}  // namespace jet
