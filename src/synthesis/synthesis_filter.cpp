#include "synthesis/synthesis_filter.h"

#include <cstring>

#include "synthesis/cpu_features.h"
#include "synthesis/fast_dct.h"
#include "synthesis/sse2_support.h"
#include "synthesis/synthesis_window.h"


namespace mpegin {

SynthesisFilter::SynthesisFilter(int channel) : path_(simd_path()), channel_(channel) { reset(); }

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
  const SimdPath path = path_;
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

void SynthesisFilter::window(float* out) const {
  window_slot(v_buffer_[front_buffer_], write_column_, out, path_);
}

}  // namespace mpegin
