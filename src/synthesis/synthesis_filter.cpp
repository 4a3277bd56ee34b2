#include "synthesis/synthesis_filter.h"

#include <cstring>

#include "synthesis/cpu_features.h"
#include "synthesis/fast_dct.h"
#include "synthesis/sse2_support.h"
#include "synthesis/synthesis_window.h"


namespace mpegin {

namespace {

#if MPEGIN_WIDE_VECTORS
// Eight values negated, in reverse order.
__attribute__((target("avx"))) inline __m256 negated_reversed8(const float* p) {
  __m256 v = _mm256_loadu_ps(p);
  v = _mm256_permute2f128_ps(v, v, 1);
  v = _mm256_permute_ps(v, _MM_SHUFFLE(0, 1, 2, 3));
  return _mm256_xor_ps(v, _mm256_set1_ps(-0.0f));
}

// SynthesisFilter::store_v eight values a store, for the eight-lane windowing.
__attribute__((target("avx"))) void store_v_avx(const float* X, float* front, float* back) {
  const __m256 sign = _mm256_set1_ps(-0.0f);
  _mm256_store_ps(front, _mm256_loadu_ps(X + 16));
  _mm256_store_ps(front + 8, _mm256_loadu_ps(X + 24));
  // front[16] = +0 in place of -X[32].
  const __m256 upper7 = _mm256_castsi256_ps(_mm256_set_epi32(-1, -1, -1, -1, -1, -1, -1, 0));
  _mm256_store_ps(front + 16, _mm256_and_ps(negated_reversed8(X + 25), upper7));
  _mm256_store_ps(front + 24, negated_reversed8(X + 17));
  _mm256_store_ps(back, negated_reversed8(X + 9));
  _mm256_store_ps(back + 8, negated_reversed8(X + 1));
  _mm256_store_ps(back + 16, _mm256_xor_ps(_mm256_loadu_ps(X), sign));
  _mm256_store_ps(back + 24, _mm256_xor_ps(_mm256_loadu_ps(X + 8), sign));
}

// SynthesisFilter::store_v sixteen values a store, for the sixteen-lane windowing. X is read in
// the two aligned halves the transform stored, so that the loads take the values from the
// stores still in flight; the shifted, reversed parts are put together in registers.
MPEGIN_TARGET_AVX512 void store_v_avx512(const float* X, float* front, float* back) {
  const __m512 sign = _mm512_set1_ps(-0.0f);
  const __m512 low = _mm512_loadu_ps(X), high = _mm512_loadu_ps(X + 16);
  // Lane r takes element 16 - r of (low, high) in a row: X[16 - r].
  const __m512i from_16 = _mm512_set_epi32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  _mm512_storeu_ps(front, high);
  // front[16 + r] = -X[32 - r] = -high[16 - r], and front[16] = +0 in place of -X[32].
  // (The masked forms with a source: GCC 12 flags the unmasked ones' "undefined" input.)
  const __m512 mirrored_high = _mm512_mask_permutexvar_ps(high, 0xfffe, from_16, high);
  _mm512_storeu_ps(front + 16, _mm512_maskz_xor_ps(0xfffe, mirrored_high, sign));
  _mm512_storeu_ps(back, _mm512_xor_ps(_mm512_permutex2var_ps(low, from_16, high), sign));
  _mm512_storeu_ps(back + 16, _mm512_xor_ps(low, sign));
}
#endif

// Matrixing: X = DCT-II of the inputs, and V[i] = sum_k cos((16 + i)(2k + 1) pi / 64) x[k]:
// V[r] = X[16 + r] (r < 16), V[16] = 0, V[16 + r] = -X[32 - r] (r = 1..15);
// V[32 + r] = -X[16 - r] (r <= 16), V[48 + r] = -X[r]. The SSE2 and AVX forms read X[32],
// which must be readable; its value is not used.
// `front` receives V[0..31], front + 32 V[32..63].
void write_v(const float* X, float* front, SimdPath path) {
  float* back = front + 32;
#if MPEGIN_WIDE_VECTORS
  if (path >= SimdPath::kAvx512) {
    store_v_avx512(X, front, back);
    return;
  }
  if (path >= SimdPath::kAvx) {
    store_v_avx(X, front, back);
    return;
  }
#endif
#if MPEGIN_SSE2
  const __m128 sign = _mm_set1_ps(-0.0f);
  // Four values negated (a flip of the sign bit, as -x is), in reverse order.
  auto negated_reversed = [sign](const float* p) {
    const __m128 v = _mm_loadu_ps(p);
    return _mm_xor_ps(_mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)), sign);
  };
  for (int r = 0; r < 16; r += 4) {
    _mm_store_ps(front + r, _mm_loadu_ps(X + 16 + r));
    _mm_store_ps(back + 16 + r, _mm_xor_ps(_mm_loadu_ps(X + r), sign));
  }
  // front[16] = +0 in place of -X[32].
  const __m128 upper3 = _mm_castsi128_ps(_mm_set_epi32(-1, -1, -1, 0));
  _mm_store_ps(front + 16, _mm_and_ps(negated_reversed(X + 29), upper3));
  _mm_store_ps(front + 20, negated_reversed(X + 25));
  _mm_store_ps(front + 24, negated_reversed(X + 21));
  _mm_store_ps(front + 28, negated_reversed(X + 17));
  for (int r = 0; r < 16; r += 4) _mm_store_ps(back + r, negated_reversed(X + 13 - r));
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

}  // namespace

SynthesisFilter::SynthesisFilter(int channel) : path_(simd_path()), channel_(channel) { reset(); }

void SynthesisFilter::reset() {
  std::memset(history_, 0, sizeof history_);
  std::memset(subband_inputs_, 0, sizeof subband_inputs_);
  current_ = 0;
}

void SynthesisFilter::synthesize(SampleSink& out) {
  synthesize(subband_inputs_, out);
  std::memset(subband_inputs_, 0, sizeof subband_inputs_);
}

void SynthesisFilter::synthesize(const float* inputs, SampleSink& out) {
  alignas(16) float X[36];  // one float beyond the 32 readable for store_v
  fast_dct32(inputs, X);
  store_v(X, 0);
  float samples[32];
  window_slot(history_, current_, samples, path_);
  out.append_block(channel_, samples, 32);
  current_ = (current_ + 1) & (kHistoryRecords - 1);
}

void SynthesisFilter::synthesize_slots(const float* inputs, uint32_t stride, uint32_t count,
                                       float* pcm) {
  // The transforms of up to eight (sixteen on the AVX-512 path) slots at once, then their V,
  // then their windowing. A last group of one to three slots after others (a Layer III
  // granule's 18 are 8 + 8 + 2) takes the transform of the last four as one vector: the slots
  // done again get the same results, and are not stored again.
  const SimdPath path = path_;
  const uint32_t group = path >= SimdPath::kAvx512 ? 16 : 8;
  for (uint32_t done = 0; count > 0;) {
    const uint32_t n = count < group ? count : group;
    const uint32_t again = n < 4 && done >= 4 - n ? 4 - n : 0;
    alignas(64) float X[16 * 32 + 16];  // beyond each slot's 32, the float store_v reads
    dct32_slots(inputs - again, stride, n + again, X, path);
    for (uint32_t t = 0; t < n; ++t) store_v(X + 32 * (again + t), t);
    window_slots(history_, current_, n, pcm, path);
    current_ = (current_ + n) & (kHistoryRecords - 1);
    done += n;
    pcm += 32 * n;
    inputs += n;
    count -= n;
  }
}

void SynthesisFilter::store_v(const float* X, uint32_t ahead) {
  const uint32_t n = (current_ + ahead) & (kHistoryRecords - 1);
  write_v(X, history_[kHistoryRecords + n], path_);
  if (n >= kFirstRepeatedRecord) write_v(X, history_[n], path_);
}

}  // namespace mpegin
