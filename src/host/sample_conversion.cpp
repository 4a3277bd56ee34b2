#include "host/sample_conversion.h"

#include "host/dither.h"
#include "synthesis/cpu_features.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

void scale_samples(float* samples, uint32_t count, float gain) {
  scale_samples(samples, samples, count, gain);
}

#if MPEGIN_WIDE_VECTORS
namespace {

// scale_samples sixteen products a step, where the processor has AVX; the same products.
__attribute__((target("avx"))) uint32_t scale_samples_avx(float* output, const float* input,
                                                          uint32_t count, float gain) {
  const __m256 g = _mm256_set1_ps(gain);
  uint32_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256 a = _mm256_mul_ps(_mm256_loadu_ps(input + i), g);
    const __m256 b = _mm256_mul_ps(_mm256_loadu_ps(input + i + 8), g);
    _mm256_storeu_ps(output + i, a);
    _mm256_storeu_ps(output + i + 8, b);
  }
  return i;
}

__attribute__((target("avx"))) uint32_t scale_twice_avx(float* output, const float* input,
                                                        uint32_t count, float gain, float then) {
  const __m256 g = _mm256_set1_ps(gain), h = _mm256_set1_ps(then);
  uint32_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256 a = _mm256_mul_ps(_mm256_mul_ps(_mm256_loadu_ps(input + i), g), h);
    const __m256 b = _mm256_mul_ps(_mm256_mul_ps(_mm256_loadu_ps(input + i + 8), g), h);
    _mm256_storeu_ps(output + i, a);
    _mm256_storeu_ps(output + i + 8, b);
  }
  return i;
}

}  // namespace
#endif

void scale_samples(float* output, const float* input, uint32_t count, float gain) {
  uint32_t i = 0;
#if MPEGIN_WIDE_VECTORS
  if (simd_path() >= SimdPath::kAvx) i = scale_samples_avx(output, input, count, gain);
#endif
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

void scale_samples(float* output, const float* input, uint32_t count, float gain, float then) {
  uint32_t i = 0;
#if MPEGIN_WIDE_VECTORS
  if (simd_path() >= SimdPath::kAvx) i = scale_twice_avx(output, input, count, gain, then);
#endif
#if MPEGIN_SSE2
  const __m128 g = _mm_set1_ps(gain), h = _mm_set1_ps(then);
  for (; i + 4 <= count; i += 4) {
    _mm_storeu_ps(output + i, _mm_mul_ps(_mm_mul_ps(_mm_loadu_ps(input + i), g), h));
  }
#endif
  for (; i < count; ++i) {
    const float scaled = input[i] * gain;  // rounded here, as a pass of its own would round it
    output[i] = scaled * then;
  }
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


void scale_and_convert_dithered(int16_t* output, const float* input, uint32_t count, float gain) {
  uint32_t state = dither_state();
  scale_and_convert_dithered(output, input, count, gain, state);
  dither_seed(state);
}

void scale_and_convert_dithered(int16_t* output, const float* input, uint32_t count, float gain,
                                uint32_t& state_io) {
  // Two generator steps per sample. The second is taken from the same state as the first
  // (state x a^2 + a + 1, all modulo 2^21, which divides the 32-bit wrap-around), so that the
  // two do not wait for each other.
  constexpr uint32_t kMask = 0x1FFFFFu;
  constexpr uint32_t kA = 524309u;
  constexpr uint32_t kA2 = kA * kA;
  constexpr uint32_t kC2 = kA + 1u;
  constexpr double kScale = 4.76837158203125e-07;   // 2^-21
  uint32_t state = state_io;
  for (uint32_t i = 0; i < count; ++i) {
    const float f = input[i] * gain;
    const uint32_t s1 = (state * kA + 1u) & kMask;
    const uint32_t s2 = (state * kA2 + kC2) & kMask;
    state = s2;
    const double noise = s1 * kScale + s2 * kScale - 1.0;
    double x = static_cast<double>(f) + noise + 500000.5;
    // Beyond 500000 +- 40000 the result clips either way; inside, x is positive and the
    // truncation is an exact integer conversion. A NaN goes to the high end, as before.
    x = x < 540000.0 ? x : 540000.0;
    x = x > 460000.0 ? x : 460000.0;
    int32_t v = static_cast<int32_t>(x) - 500000;
    v = v < 32767 ? v : 32767;
    v = v > -32768 ? v : -32768;
    output[i] = static_cast<int16_t>(v);
  }
  state_io = state;
}

}  // namespace mpegin
