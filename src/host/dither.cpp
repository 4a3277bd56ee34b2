#include "host/dither.h"

#include <cmath>

namespace mpegin {
namespace {

uint32_t state = 0;
const uint32_t multiplier = 524309;  // 0x80015

}  // namespace

void dither_seed(uint32_t value) { state = value; }

uint32_t dither_state() { return state; }

uint32_t dither_skip(uint32_t from, uint64_t steps) {
  // x -> a x + c composed with itself: (a, c) -> (a^2, a c + c), all modulo 2^21.
  uint32_t a = multiplier, c = 1u, state_now = from & 0x1FFFFFu;
  for (; steps != 0; steps >>= 1) {
    if (steps & 1u) state_now = (state_now * a + c) & 0x1FFFFFu;
    c = (a * c + c) & 0x1FFFFFu;
    a = (a * a) & 0x1FFFFFu;
  }
  return state_now;
}

double dither_random() {
  state = (state * multiplier + 1u) & 0x1FFFFFu;
  return state * 4.76837158203125e-07;
}

void convert_dithered(int16_t* output, const float* input, int32_t count, int32_t, double amplitude) {
  for (int32_t i = 0; i < count; ++i) {
    const double r1 = dither_random();
    const double r2 = dither_random();
    const double noise = (r1 + r2 - 1.0) * amplitude;
    double v = std::trunc(static_cast<double>(input[i]) + noise + 500000.5) - 500000.0;
    v = v < 32767.0 ? v : 32767.0;  // also takes a NaN sample to the high end
    v = v > -32768.0 ? v : -32768.0;
    output[i] = static_cast<int16_t>(v);
  }
}

}  // namespace mpegin
