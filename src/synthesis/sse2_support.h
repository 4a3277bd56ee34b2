#pragma once

// MPEGIN_SSE2 is 1 where SSE2 is part of the target (every x86-64, i686 built with -msse2),
// and the SSE2 intrinsics are then included; elsewhere the plain C++ paths are used.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define MPEGIN_SSE2 1
#include <emmintrin.h>
#else
#define MPEGIN_SSE2 0
#endif

// MPEGIN_WIDE_VECTORS is 1 where the compiler can build AVX and AVX2/FMA functions next to the
// baseline (`__attribute__((target(...)))`), chosen at run time by simd_path(). On Windows only
// when the build turns aligned vector moves into unaligned ones (MPEGIN_UNALIGNED_VECTOR_MOVES):
// there the stack is not kept aligned for spilled 32-byte registers.
#if MPEGIN_SSE2 && (defined(__GNUC__) || defined(__clang__)) && \
    (!defined(_WIN32) || defined(MPEGIN_UNALIGNED_VECTOR_MOVES))
#define MPEGIN_WIDE_VECTORS 1
#include <immintrin.h>
#else
#define MPEGIN_WIDE_VECTORS 0
#endif

// MPEGIN_VECTOR_OPERATORS is 1 where the SSE vector types take +, - and * lane by lane (GCC and
// Clang), so that one written-out formula serves plain floats and vectors.
#if MPEGIN_SSE2 && (defined(__GNUC__) || defined(__clang__))
#define MPEGIN_VECTOR_OPERATORS 1
#else
#define MPEGIN_VECTOR_OPERATORS 0
#endif

// The attribute of the AVX-512 functions. AVX-512 brings fused multiply-add, and GCC fuses a
// product and a following sum into it by default in C++; every other path rounds the product
// first, so these functions forbid the contraction (Clang does not contract across statements).
#if defined(__clang__)
#define MPEGIN_TARGET_AVX512 __attribute__((target("avx512f,avx512dq")))
#else
#define MPEGIN_TARGET_AVX512 \
  __attribute__((target("avx512f,avx512dq"), optimize("fp-contract=off")))
#endif
