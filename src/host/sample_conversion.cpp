#include "host/sample_conversion.h"

namespace mpegin {

void scale_samples(float* samples, uint32_t count, float gain) {
  scale_samples(samples, samples, count, gain);
}

void scale_samples(float* output, const float* input, uint32_t count, float gain) {
  for (uint32_t i = 0; i < count; ++i) output[i] = input[i] * gain;
}

void convert_clipped(int16_t* output, const float* input, uint32_t count, float gain) {
  for (uint32_t i = 0; i < count; ++i) {
    float v = input[i] * gain;
    v = v > -32767.0f ? v : -32767.0f;  // also takes a NaN sample to the low end
    v = v < 32767.0f ? v : 32767.0f;
    output[i] = static_cast<int16_t>(v);
  }
}

}  // namespace mpegin
