#include "host/sample_conversion.h"

#include "synthesis/sse2_support.h"

namespace mpegin {

void scale_samples(float* samples, uint32_t count, float gain) {
  scale_samples(samples, samples, count, gain);
}

void scale_samples(float* output, const float* input, uint32_t count, float gain) {
  uint32_t i = 0;
#if MPEGIN_SSE2
  // Eight products a step: each is the same single-precision product as below.
  const __m128 g = _mm_set1_ps(gain);
  for (; i + 8 <= count; i += 8) {
    const __m128 a = _mm_mul_ps(_mm_loadu_ps(input + i), g);
    const __m128 b = _mm_mul_ps(_mm_loadu_ps(input + i + 4), g);
    _mm_storeu_ps(output + i, a);
    _mm_storeu_ps(output + i + 4, b);
  }
#endif
  for (; i < count; ++i) output[i] = input[i] * gain;
}

void convert_clipped(int16_t* output, const float* input, uint32_t count, float gain) {
  uint32_t i = 0;
#if MPEGIN_SSE2
  // Eight samples a step. maxps(v, low) yields low when v is a NaN, like the written-out
  // comparison below; after clipping the truncation to 32 bits is exact and the packing to
  // 16 bits never saturates, so the results are the same sample for sample.
  const __m128 g = _mm_set1_ps(gain);
  const __m128 low = _mm_set1_ps(-32767.0f);
  const __m128 high = _mm_set1_ps(32767.0f);
  for (; i + 8 <= count; i += 8) {
    __m128 a = _mm_mul_ps(_mm_loadu_ps(input + i), g);
    __m128 b = _mm_mul_ps(_mm_loadu_ps(input + i + 4), g);
    a = _mm_min_ps(_mm_max_ps(a, low), high);
    b = _mm_min_ps(_mm_max_ps(b, low), high);
    const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(a), _mm_cvttps_epi32(b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(output + i), packed);
  }
#endif
  for (; i < count; ++i) {
    float v = input[i] * gain;
    v = v > -32767.0f ? v : -32767.0f;  // also takes a NaN sample to the low end
    v = v < 32767.0f ? v : 32767.0f;
    output[i] = static_cast<int16_t>(v);
  }
}

}  // namespace mpegin
