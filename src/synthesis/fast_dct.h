#pragma once

namespace mpegin {

// dct_factors[j] = 1 / (2 cos(j * pi / 64)) for j = 1..31 (entry 0 unused), computed once at
// start-up in double precision.
extern const float* const dct_factors;

// Unnormalised 32-point DCT-II, X[m] = sum_k x[k] cos((2k + 1) m pi / 64), by Lee's
// decomposition (80 multiplications). `x` and `X` must not overlap.
// With SSE2 four of the transform's operations run at once; the results are those of lee_dct32.
void fast_dct32(const float* x, float* X);

// The same transform written out one operation at a time.
void lee_dct32(const float* x, float* X);

}  // namespace mpegin
