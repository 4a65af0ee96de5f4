#pragma once

namespace vqs {

// Wider vector code run before in this thread (Qt's painting, the C library's copies) may leave
// the upper halves of the vector registers in use; SSE code built for the baseline processor then
// waits on them at every step and runs about three times slower. Called before such a loop.
inline void clearUpperVectorState() {
#if defined(__SSE2__) && defined(__GNUC__) && !defined(__AVX__)
    if (__builtin_cpu_supports("avx")) __asm__ volatile("vzeroupper");
#endif
}

}  // namespace vqs
