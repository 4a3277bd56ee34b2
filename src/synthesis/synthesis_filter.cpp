#include "synthesis/synthesis_filter.h"

#include <cstring>

#include "synthesis/cpu_features.h"
#include "synthesis/fast_dct.h"
#include "synthesis/sse2_support.h"
#include "synthesis/synthesis_window.h"

// Where the compiler can build AVX code next to the baseline (MPEGIN_WIDE_VECTORS) and the
// processor has it, the windowing takes eight output samples per instruction.

namespace mpegin {

namespace {

// The window by tap: window_taps.w[t][j] = synthesis_window[16 j + t], so the taps of all 32
// output samples for one V column are contiguous.
struct WindowTaps {
  alignas(32) float w[16][32];
  WindowTaps() {
    for (int t = 0; t < 16; ++t)
      for (int j = 0; j < 32; ++j) w[t][j] = synthesis_window[16 * j + t];
  }
};

const WindowTaps window_taps;

#if MPEGIN_WIDE_VECTORS
// SynthesisFilter::window with eight lanes: each lane does what the SSE2 form does, in the same
// order, so the results are equal.
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

const bool use_avx = simd_path() >= SimdPath::kAvx;
#endif

}  // namespace

SynthesisFilter::SynthesisFilter(int channel) : channel_(channel) { reset(); }

void SynthesisFilter::reset() {
  std::memset(v_buffer_, 0, sizeof v_buffer_);
  std::memset(subband_inputs_, 0, sizeof subband_inputs_);
  front_buffer_ = 0;
  write_column_ = 15;
}

void SynthesisFilter::synthesize(SampleSink& out) {
  synthesize(subband_inputs_, out);
  std::memset(subband_inputs_, 0, sizeof subband_inputs_);
}

void SynthesisFilter::synthesize(const float* inputs, SampleSink& out) {
  update_v(inputs);
  float samples[32];
  window(samples);
  out.append_block(channel_, samples, 32);
  advance();
}

void SynthesisFilter::synthesize_slots(const float* inputs, uint32_t stride, uint32_t count,
                                       float* pcm) {
  // The transforms of up to eight slots at once; the columns are written one slot at a time,
  // since each slot's windowing reads the column the slot after it overwrites.
  const SimdPath path = simd_path();
  while (count > 0) {
    const uint32_t n = count < 8 ? count : 8;
    alignas(32) float X[8][32];
    dct32_slots(inputs, stride, n, X[0], path);
    for (uint32_t t = 0; t < n; ++t, pcm += 32) {
      store_v(X[t]);
      window(pcm);
      advance();
    }
    inputs += n;
    count -= n;
  }
}

void SynthesisFilter::update_v(const float* inputs) {
  alignas(16) float X[32];
  fast_dct32(inputs, X);
  store_v(X);
}

// Matrixing: X = DCT-II of the inputs; V[0..31] goes to column p of the front buffer and
// V[32..63] to column p of the back buffer, where V[i] = sum_k cos((16 + i)(2k + 1) pi / 64) x[k]:
// front[r] = X[16 + r] (r < 16), front[16] = 0, front[16 + r] = -X[32 - r] (r = 1..15);
// back[r] = -X[16 - r] (r <= 16), back[16 + r] = -X[r].
void SynthesisFilter::store_v(const float* X) {
  float* front = v_buffer_[front_buffer_][write_column_];
  float* back = v_buffer_[front_buffer_ ^ 1][write_column_];
#if MPEGIN_SSE2
  const __m128 sign = _mm_set1_ps(-0.0f);
  // Four values negated (a flip of the sign bit, as -x is), in reverse order.
  auto negated_reversed = [sign](const float* p) {
    const __m128 v = _mm_loadu_ps(p);
    return _mm_xor_ps(_mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)), sign);
  };
  for (int r = 0; r < 16; r += 4) {
    _mm_storeu_ps(front + r, _mm_loadu_ps(X + 16 + r));
    _mm_storeu_ps(back + 16 + r, _mm_xor_ps(_mm_loadu_ps(X + r), sign));
  }
  _mm_storeu_ps(front + 17, negated_reversed(X + 28));
  _mm_storeu_ps(front + 21, negated_reversed(X + 24));
  _mm_storeu_ps(front + 25, negated_reversed(X + 20));
  _mm_storeu_ps(front + 28, negated_reversed(X + 17));  // front[28] again, the same value
  front[16] = 0.0f;
  for (int r = 0; r < 16; r += 4) _mm_storeu_ps(back + r, negated_reversed(X + 13 - r));
#else
  for (int r = 0; r < 16; ++r) {
    front[r] = X[16 + r];
    back[r] = -X[16 - r];
  }
  front[16] = 0.0f;
  back[16] = -X[0];
  for (int r = 1; r < 16; ++r) {
    front[16 + r] = -X[32 - r];
    back[16 + r] = -X[r];
  }
#endif
}

// Windowing: output j is the dot product of row j of the front buffer with its 16 taps; the V
// value in column q takes tap (p - q) & 15 when column p is the newest. The products are summed
// in single precision in two partial sums, even and odd taps each in tap order, and the two are
// added last: the same order on every platform, eight output samples at a time.
void SynthesisFilter::window(float* out) const {
  const float(*v)[32] = v_buffer_[front_buffer_];
  const uint32_t p = write_column_;
#if MPEGIN_WIDE_VECTORS
  if (use_avx) {
    window_avx(v, p, out);
    return;
  }
#endif
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
