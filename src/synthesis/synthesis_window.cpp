#include "synthesis/synthesis_window.h"

#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

// The window by tap: window_taps.w[t][j] = synthesis_window[16 j + t], so the taps of all 32
// output samples for one V column are contiguous.
struct WindowTaps {
  alignas(64) float w[16][32];
  WindowTaps() {
    for (int t = 0; t < 16; ++t)
      for (int j = 0; j < 32; ++j) w[t][j] = synthesis_window[16 * j + t];
  }
};

const WindowTaps window_taps;

#if MPEGIN_WIDE_VECTORS
// window_slot with eight lanes: each lane does what the SSE2 form does, in the same order, so
// the results are equal.
__attribute__((target("avx"))) void window_avx(const float (*v)[32], uint32_t p, float* out) {
  __m256 even[4], odd[4];
  for (int g = 0; g < 4; ++g) even[g] = odd[g] = _mm256_setzero_ps();
  for (uint32_t t = 0; t < 16; t += 2) {
    const float* v_even = v[(p - t) & 15];
    const float* v_odd = v[(p - t - 1) & 15];
    for (int g = 0; g < 4; ++g) {
      const __m256 w_even = _mm256_load_ps(window_taps.w[t] + 8 * g);
      const __m256 w_odd = _mm256_load_ps(window_taps.w[t + 1] + 8 * g);
      even[g] = _mm256_add_ps(even[g], _mm256_mul_ps(_mm256_loadu_ps(v_even + 8 * g), w_even));
      odd[g] = _mm256_add_ps(odd[g], _mm256_mul_ps(_mm256_loadu_ps(v_odd + 8 * g), w_odd));
    }
  }
  for (int g = 0; g < 4; ++g) _mm256_storeu_ps(out + 8 * g, _mm256_add_ps(even[g], odd[g]));
}

// The same with sixteen lanes: two groups of output samples, the taps and V values loaded once
// per group. Unaligned loads throughout (the data is aligned here; Windows may not keep the
// stack so).
MPEGIN_TARGET_AVX512 void window_avx512(const float (*v)[32], uint32_t p, float* out) {
  __m512 even[2], odd[2];
  for (int g = 0; g < 2; ++g) even[g] = odd[g] = _mm512_setzero_ps();
  for (uint32_t t = 0; t < 16; t += 2) {
    const float* v_even = v[(p - t) & 15];
    const float* v_odd = v[(p - t - 1) & 15];
    for (int g = 0; g < 2; ++g) {
      const __m512 w_even = _mm512_loadu_ps(window_taps.w[t] + 16 * g);
      const __m512 w_odd = _mm512_loadu_ps(window_taps.w[t + 1] + 16 * g);
      even[g] = _mm512_add_ps(even[g], _mm512_mul_ps(_mm512_loadu_ps(v_even + 16 * g), w_even));
      odd[g] = _mm512_add_ps(odd[g], _mm512_mul_ps(_mm512_loadu_ps(v_odd + 16 * g), w_odd));
    }
  }
  for (int g = 0; g < 2; ++g) _mm512_storeu_ps(out + 16 * g, _mm512_add_ps(even[g], odd[g]));
}

#endif

}  // namespace

// Windowing: output j is the dot product of row j of the front buffer with its 16 taps; the V
// value in column q takes tap (p - q) & 15 when column p is the newest. The products are summed
// in single precision in two partial sums, even and odd taps each in tap order, and the two are
// added last: the same order on every platform, eight (or sixteen) output samples at a time.
void window_slot(const float (*v)[32], uint32_t p, float* out, SimdPath path) {
#if MPEGIN_WIDE_VECTORS
  if (path >= SimdPath::kAvx512) {
    window_avx512(v, p, out);
    return;
  }
  if (path >= SimdPath::kAvx) {
    window_avx(v, p, out);
    return;
  }
#endif
  (void)path;
  for (int j = 0; j < 32; j += 8) {
#if MPEGIN_SSE2
    __m128 even_low = _mm_setzero_ps(), even_high = _mm_setzero_ps();
    __m128 odd_low = _mm_setzero_ps(), odd_high = _mm_setzero_ps();
    for (uint32_t t = 0; t < 16; t += 2) {
      const float* v_even = v[(p - t) & 15] + j;
      const float* v_odd = v[(p - t - 1) & 15] + j;
      const float* w_even = window_taps.w[t] + j;
      const float* w_odd = window_taps.w[t + 1] + j;
      even_low = _mm_add_ps(even_low, _mm_mul_ps(_mm_loadu_ps(v_even), _mm_load_ps(w_even)));
      even_high = _mm_add_ps(even_high, _mm_mul_ps(_mm_loadu_ps(v_even + 4), _mm_load_ps(w_even + 4)));
      odd_low = _mm_add_ps(odd_low, _mm_mul_ps(_mm_loadu_ps(v_odd), _mm_load_ps(w_odd)));
      odd_high = _mm_add_ps(odd_high, _mm_mul_ps(_mm_loadu_ps(v_odd + 4), _mm_load_ps(w_odd + 4)));
    }
    _mm_storeu_ps(out + j, _mm_add_ps(even_low, odd_low));
    _mm_storeu_ps(out + j + 4, _mm_add_ps(even_high, odd_high));
#else
    float even[8] = {}, odd[8] = {};
    for (uint32_t t = 0; t < 16; t += 2) {
      const float* v_even = v[(p - t) & 15] + j;
      const float* v_odd = v[(p - t - 1) & 15] + j;
      const float* w_even = window_taps.w[t] + j;
      const float* w_odd = window_taps.w[t + 1] + j;
      for (int lane = 0; lane < 8; ++lane) {
        even[lane] += v_even[lane] * w_even[lane];
        odd[lane] += v_odd[lane] * w_odd[lane];
      }
    }
    for (int lane = 0; lane < 8; ++lane) out[j + lane] = even[lane] + odd[lane];
#endif
  }
}

}  // namespace mpegin
