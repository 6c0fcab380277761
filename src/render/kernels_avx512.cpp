// The kernels' row loops built for the avx512 instruction set (compile flags in CMakeLists.txt).
// GCC 12 reports the placeholder operand that its AVX-512 intrinsics pass to the unmasked
// builtins (_mm512_undefined_epi32) as "maybe uninitialized" wherever they are inlined; the
// operand is never read, so the warning is silenced for this file only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define TAVRONA_KERNEL_NS avx512
#include "render/kernel_rows.h"
