#include "synthesis/synthesis_window.h"

#include <cstddef>

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

// The record a tap reads: tap t of the slot whose own record is p.
// (From the slot's own record by pointer arithmetic, so that the taps' addresses are constant
// offsets from one register.)
inline const float* tap_values(const VHistory& h, uint32_t p, uint32_t t) {
  const float* own = h[kHistoryRecords + (p & (kHistoryRecords - 1))];
  return own - 64 * static_cast<ptrdiff_t>(t) + 32 * (t & 1);
}

#if MPEGIN_WIDE_VECTORS
// window_slot with eight lanes: each lane does what the SSE2 form does, in the same order, so
// the results are equal.
__attribute__((target("avx"))) void window_avx(const VHistory& h, uint32_t p, float* out) {
  __m256 even[4], odd[4];
  for (int g = 0; g < 4; ++g) even[g] = odd[g] = _mm256_setzero_ps();
  for (uint32_t t = 0; t < 16; t += 2) {
    const float* v_even = tap_values(h, p, t);
    const float* v_odd = tap_values(h, p, t + 1);
    for (int g = 0; g < 4; ++g) {
      const __m256 w_even = _mm256_load_ps(window_taps.w[t] + 8 * g);
      const __m256 w_odd = _mm256_load_ps(window_taps.w[t + 1] + 8 * g);
      even[g] = _mm256_add_ps(even[g], _mm256_mul_ps(_mm256_loadu_ps(v_even + 8 * g), w_even));
      odd[g] = _mm256_add_ps(odd[g], _mm256_mul_ps(_mm256_loadu_ps(v_odd + 8 * g), w_odd));
    }
  }
  for (int g = 0; g < 4; ++g) _mm256_storeu_ps(out + 8 * g, _mm256_add_ps(even[g], odd[g]));
}

// The same with sixteen lanes over `count` slots, one half of the output samples at a time
// (half kG: outputs 16 kG .. 16 kG + 15), so that the half's 16 taps stay in registers and only
// the V values are loaded per slot. Unaligned loads throughout (the data is aligned here;
// Windows may not keep the stack so).
template <int kG>
MPEGIN_TARGET_AVX512 inline void window_half_avx512(const VHistory& h, uint32_t p, uint32_t count,
                                                    float* out) {
  __m512 w[16];
  for (int t = 0; t < 16; ++t) w[t] = _mm512_loadu_ps(window_taps.w[t] + 16 * kG);
  for (uint32_t i = 0; i < count; ++i) {
    __m512 even = _mm512_setzero_ps(), odd = _mm512_setzero_ps();
    for (uint32_t t = 0; t < 16; t += 2) {
      const __m512 v_even = _mm512_loadu_ps(tap_values(h, p + i, t) + 16 * kG);
      const __m512 v_odd = _mm512_loadu_ps(tap_values(h, p + i, t + 1) + 16 * kG);
      even = _mm512_add_ps(even, _mm512_mul_ps(v_even, w[t]));
      odd = _mm512_add_ps(odd, _mm512_mul_ps(v_odd, w[t + 1]));
    }
    _mm512_storeu_ps(out + 32 * i + 16 * kG, _mm512_add_ps(even, odd));
  }
}

MPEGIN_TARGET_AVX512 void window_avx512(const VHistory& h, uint32_t p, uint32_t count,
                                        float* out) {
  window_half_avx512<0>(h, p, count, out);
  window_half_avx512<1>(h, p, count, out);
}
#endif

}  // namespace

// Windowing: output j is the dot product of row j of V with its 16 taps. The products are summed
// in single precision in two partial sums, even and odd taps each in tap order, and the two are
// added last: the same order on every platform, 8 or 16 output samples at a time.
void window_slot(const VHistory& h, uint32_t p, float* out, SimdPath path) {
#if MPEGIN_WIDE_VECTORS
  if (path >= SimdPath::kAvx512) {
    window_avx512(h, p, 1, out);
    return;
  }
  if (path >= SimdPath::kAvx) {
    window_avx(h, p, out);
    return;
  }
#endif
  (void)path;
  for (int j = 0; j < 32; j += 8) {
#if MPEGIN_SSE2
    __m128 even_low = _mm_setzero_ps(), even_high = _mm_setzero_ps();
    __m128 odd_low = _mm_setzero_ps(), odd_high = _mm_setzero_ps();
    for (uint32_t t = 0; t < 16; t += 2) {
      const float* v_even = tap_values(h, p, t) + j;
      const float* v_odd = tap_values(h, p, t + 1) + j;
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
      const float* v_even = tap_values(h, p, t) + j;
      const float* v_odd = tap_values(h, p, t + 1) + j;
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

void window_slots(const VHistory& h, uint32_t p, uint32_t count, float* out, SimdPath path) {
#if MPEGIN_WIDE_VECTORS
  if (path >= SimdPath::kAvx512) {
    window_avx512(h, p, count, out);
    return;
  }
#endif
  for (uint32_t i = 0; i < count; ++i) window_slot(h, p + i, out + 32 * i, path);
}

}  // namespace mpegin
