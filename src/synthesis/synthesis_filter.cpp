#include "synthesis/synthesis_filter.h"

#include <cstring>
#include <utility>

#include "synthesis/fast_dct.h"
#include "synthesis/synthesis_window.h"

namespace mpegin {

namespace {

// Output sample j of a slot: the 16 taps of window row j against row j of the front buffer,
// tap t reading the column written t slots ago, (P - t) & 15. One instance per write column
// P keeps the column offsets constant. Products of two floats are exact in double, and the
// sum is kept in double until the final rounding.
template <uint32_t P>
void window_rows(const float* v, float* out) {
  for (int j = 0; j < 32; ++j) {
    const float* w = synthesis_window + 16 * j;
    const float* row = v + 16 * j;
    double sum = 0.0;
    for (uint32_t t = 0; t < 16; ++t) sum += double{w[t]} * row[(P - t) & 15];
    out[j] = static_cast<float>(sum);
  }
}

using WindowPath = void (*)(const float*, float*);

template <uint32_t... P>
constexpr auto make_window_paths(std::integer_sequence<uint32_t, P...>) {
  struct Paths {
    WindowPath path[sizeof...(P)];
  };
  return Paths{{&window_rows<P>...}};
}

constexpr auto window_paths = make_window_paths(std::make_integer_sequence<uint32_t, 16>{});

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

void SynthesisFilter::window(float* out) const {
  window_paths.path[write_column_](v_buffer_[front_buffer_], out);
}

}  // namespace mpegin
