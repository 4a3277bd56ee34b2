#pragma once

// MPEGIN_SSE2 is 1 where SSE2 is part of the target (every x86-64, i686 built with -msse2),
// and the SSE2 intrinsics are then included; elsewhere the plain C++ paths are used.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define MPEGIN_SSE2 1
#include <emmintrin.h>
#else
#define MPEGIN_SSE2 0
#endif
