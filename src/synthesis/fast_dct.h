#pragma once

#include <cstdint>

#include "synthesis/cpu_features.h"

namespace mpegin {

// dct_factors[j] = 1 / (2 cos(j * pi / 64)) for j = 1..31 (entry 0 unused), computed in
// double precision and rounded to float (constant data, see dct_factor_table.h).
extern const float* const dct_factors;

// Unnormalised 32-point DCT-II, X[m] = sum_k x[k] cos((2k + 1) m pi / 64), by Lee's
// decomposition (80 multiplications). `x` and `X` must not overlap.
// With SSE2 four of the transform's operations run at once; the results are those of lee_dct32.
void fast_dct32(const float* x, float* X);

// The same transform written out one operation at a time.
void lee_dct32(const float* x, float* X);

// The transform of `count` slots: input k of slot t is x[k * stride + t] (stride >= count), and
// slot t's outputs go to X[32 t .. 32 t + 31]. Each slot's results are those of lee_dct32; four,
// eight (AVX paths) or sixteen (AVX-512) slots run at once, one per vector lane.
void dct32_slots(const float* x, uint32_t stride, uint32_t count, float* X,
                 SimdPath path = simd_path());

}  // namespace mpegin
