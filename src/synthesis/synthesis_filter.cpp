#include "synthesis/synthesis_filter.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define MPEGIN_SYNTHESIS_SSE2 1
#include <emmintrin.h>
#else
#define MPEGIN_SYNTHESIS_SSE2 0
#endif

#include "synthesis/fast_dct.h"
#include "synthesis/synthesis_window.h"

namespace mpegin {

namespace {

// The window rows reversed and repeated once, built at start-up from synthesis_window:
// window_ring[32 j + s] = synthesis_window[16 j + 15 - (s & 15)]. Output j takes tap
// (p - q) & 15 for the V value in column q when column p is the newest, and that tap sits
// at window_ring[32 j + q + 15 - p]: one contiguous run of 16 values for the whole row.
struct WindowRing {
  alignas(16) float w[32 * 32];
  WindowRing() {
    for (int j = 0; j < 32; ++j)
      for (int s = 0; s < 32; ++s) w[32 * j + s] = synthesis_window[16 * j + 15 - (s & 15)];
  }
};

const WindowRing window_ring;

}  // namespace

SynthesisFilter::SynthesisFilter(int channel) : channel_(channel) { reset(); }

void SynthesisFilter::reset() {
  std::memset(v_buffer_, 0, sizeof v_buffer_);
  std::memset(subband_inputs_, 0, sizeof subband_inputs_);
  front_buffer_ = 0;
  write_column_ = 15;
}

void SynthesisFilter::synthesize(SampleSink& out) {
  update_v();
  float samples[32];
  window(samples);
  out.append_block(channel_, samples, 32);
  write_column_ = (write_column_ + 1) & 15;
  front_buffer_ ^= 1;
  std::memset(subband_inputs_, 0, sizeof subband_inputs_);
}

// Matrixing: X = DCT-II of the inputs; V[0..31] goes to column p of the front buffer and
// V[32..63] to column p of the back buffer, where V[i] = sum_k cos((16 + i)(2k + 1) pi / 64) x[k].
void SynthesisFilter::update_v() {
  float X[32];
  fast_dct32(subband_inputs_, X);
  float* front = v_buffer_[front_buffer_] + write_column_;
  float* back = v_buffer_[front_buffer_ ^ 1] + write_column_;
  for (int r = 0; r < 16; ++r) {
    front[16 * r] = X[16 + r];
    back[16 * r] = -X[16 - r];
  }
  front[16 * 16] = 0.0f;
  back[16 * 16] = -X[0];
  for (int r = 1; r < 16; ++r) {
    front[16 * (16 + r)] = -X[32 - r];
    back[16 * (16 + r)] = -X[r];
  }
}

// Windowing: output j is the dot product of row j of the front buffer with its 16 taps. The
// products of two floats are exact in double; they are summed in double in four interleaved
// partial sums (q mod 4) and rounded once, with the same order on every platform.
void SynthesisFilter::window(float* out) const {
  const float* v = v_buffer_[front_buffer_];
  const float* taps = window_ring.w + (15 - write_column_);
  for (int j = 0; j < 32; ++j, v += 16, taps += 32) {
#if MPEGIN_SYNTHESIS_SSE2
    __m128d low = _mm_setzero_pd();   // partial sums for q mod 4 = 0, 1
    __m128d high = _mm_setzero_pd();  // and for q mod 4 = 2, 3
    for (int q = 0; q < 16; q += 4) {
      const __m128 values = _mm_load_ps(v + q);
      const __m128 window = _mm_loadu_ps(taps + q);
      low = _mm_add_pd(low, _mm_mul_pd(_mm_cvtps_pd(values), _mm_cvtps_pd(window)));
      high = _mm_add_pd(high, _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(values, values)),
                                         _mm_cvtps_pd(_mm_movehl_ps(window, window))));
    }
    const __m128d pairs = _mm_add_pd(low, high);
    out[j] = static_cast<float>(_mm_cvtsd_f64(_mm_add_sd(pairs, _mm_unpackhi_pd(pairs, pairs))));
#else
    double sum[4] = {0.0, 0.0, 0.0, 0.0};
    for (int q = 0; q < 16; q += 4)
      for (int lane = 0; lane < 4; ++lane) sum[lane] += double{v[q + lane]} * taps[q + lane];
    out[j] = static_cast<float>((sum[0] + sum[2]) + (sum[1] + sum[3]));
#endif
  }
}

}  // namespace mpegin
