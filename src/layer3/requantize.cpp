#include "layer3/requantize.h"

#include <cstdint>
#include <cstring>

#include "layer3/computed_powers.h"
#include "layer3/layer3_scale_factors.h"
#include "layer3/layer3_side_info.h"
#include "layer3/requantize_tables.h"
#include "layer3/scale_factor_band_table.h"
#include "synthesis/cpu_features.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

// First line of the short-block part of a mixed block, in every band table: the two lowest
// subbands are long-block lines. In the MPEG-1 tables this is long band 8, in the LSF tables
// long band 6; short bands begin at band 3 in both.
constexpr int32_t kMixedLongLines = 36;
constexpr int32_t kMixedFirstShortBand = 3;

// n^(4/3) of a magnitude; the table covers what the Huffman codes give without linbits,
// larger values (up to 15 + 8191 with 13 linbits) are computed.
inline float pow43_magnitude(uint32_t magnitude) {
  if (magnitude < static_cast<uint32_t>(pow43_table_size)) return pow43_table[magnitude];
  return pow43_computed(magnitude);
}

// 2^(-m/2); exponents past the table (possible with the five-bit intensity scale factors of
// LSF streams) are computed rather than read beyond it.
inline float scale_step(uint32_t m) {
  if (m < static_cast<uint32_t>(scale_step_table_size)) return scale_step_table[m];
  const int32_t halves = static_cast<int32_t>(m >> 1);
  return times_power_of_two((m & 1u) ? 0.70710677f : 1.0f, -halves);
}

// Scalar form of one line of power_law_lines.
inline float power_law_line(int32_t value, float gain) {
  const uint32_t v = static_cast<uint32_t>(value);
  const uint32_t negative = v >> 31;
  const uint32_t magnitude = (v ^ (0u - negative)) + negative;
  const float scaled = pow43_magnitude(magnitude) * gain;
  uint32_t bits;
  std::memcpy(&bits, &scaled, sizeof bits);
  bits ^= negative << 31;
  float result;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}

#if MPEGIN_WIDE_VECTORS
// power_law_lines eight lines at a time: magnitudes up to 15 (nearly every line) from two
// eight-entry tables held in registers, larger ones gathered from the table; the same product
// and sign flip per line, so the same results.
__attribute__((target("avx2"))) int32_t power_law_lines_avx2(const int32_t* quantized, float* out,
                                                             int32_t count, float gain) {
  const __m256 gains = _mm256_set1_ps(gain);
  const __m256 low = _mm256_loadu_ps(pow43_table);
  const __m256 high = _mm256_loadu_ps(pow43_table + 8);
  const __m256i sign_bit = _mm256_set1_epi32(INT32_MIN);
  const __m256i seven = _mm256_set1_epi32(7);
  const __m256i fifteen = _mm256_set1_epi32(15);
  const __m256i table_end = _mm256_set1_epi32(pow43_table_size - 1);
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantized + i));
    const __m256i magnitude = _mm256_abs_epi32(v);
    const __m256 signs = _mm256_castsi256_ps(_mm256_and_si256(v, sign_bit));
    __m256 powers;
    if (_mm256_testz_si256(_mm256_cmpgt_epi32(magnitude, fifteen), _mm256_cmpgt_epi32(magnitude, fifteen))) {
      const __m256 upper = _mm256_castsi256_ps(_mm256_cmpgt_epi32(magnitude, seven));
      powers = _mm256_blendv_ps(_mm256_permutevar8x32_ps(low, magnitude),
                                _mm256_permutevar8x32_ps(high, magnitude), upper);
    } else if (_mm256_testz_si256(_mm256_cmpgt_epi32(magnitude, table_end), _mm256_cmpgt_epi32(magnitude, table_end))) {
      powers = _mm256_i32gather_ps(pow43_table, magnitude, 4);
    } else {
      for (int32_t k = 0; k < 8; ++k) out[i + k] = power_law_line(quantized[i + k], gain);
      continue;
    }
    _mm256_storeu_ps(out + i, _mm256_xor_ps(_mm256_mul_ps(powers, gains), signs));
  }
  return i;
}
#endif

// Lines [0, count) and up to three lines beyond (within the 576): |v|^(4/3) times the global
// gain, rounded to float, with the sign of v. The sign is a flip of the sign bit, which is
// what negating the product gives, and costs no branch on the random signs. From line
// `small_from` on (the count1 area) the values are expected to be -1, 0 or 1, whose powers are
// themselves: such groups of four take no table look-ups.
void power_law_lines(const int32_t* quantized, float* out, int32_t count, float gain,
                     int32_t small_from, SimdPath path) {
  int32_t i = 0;
#if MPEGIN_WIDE_VECTORS
  if (path >= SimdPath::kAvx2Fma) i = power_law_lines_avx2(quantized, out, count, gain);
#endif
  (void)path;
#if MPEGIN_SSE2
  const __m128 gains = _mm_set1_ps(gain);
  const __m128i sign_bit = _mm_set1_epi32(INT32_MIN);
  const __m128i one = _mm_set1_epi32(1);
  const __m128i table_end = _mm_set1_epi32(pow43_table_size - 1);
  for (; i < count; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quantized + i));
    const __m128i negative = _mm_srai_epi32(v, 31);
    const __m128i magnitude = _mm_sub_epi32(_mm_xor_si128(v, negative), negative);
    const __m128 signs = _mm_castsi128_ps(_mm_and_si128(v, sign_bit));
    if (i >= small_from && _mm_movemask_epi8(_mm_cmpgt_epi32(magnitude, one)) == 0) {
      _mm_storeu_ps(out + i, _mm_xor_ps(_mm_mul_ps(_mm_cvtepi32_ps(magnitude), gains), signs));
      continue;
    }
    if (_mm_movemask_epi8(_mm_cmpgt_epi32(magnitude, table_end)) != 0) {
      for (int32_t k = 0; k < 4; ++k) out[i + k] = power_law_line(quantized[i + k], gain);
      continue;
    }
    alignas(16) int32_t index[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(index), magnitude);
    const __m128 powers = _mm_setr_ps(pow43_table[index[0]], pow43_table[index[1]],
                                      pow43_table[index[2]], pow43_table[index[3]]);
    _mm_storeu_ps(out + i, _mm_xor_ps(_mm_mul_ps(powers, gains), signs));
  }
#else
  (void)small_from;
#endif
  for (; i < count; ++i) out[i] = power_law_line(quantized[i], gain);
}

// Lines [begin, end) clipped to the count of decoded lines, times the band's step: the second
// product, rounded to float on its own.
inline void scale_lines(float* out, int32_t begin, int32_t end, int32_t count, float step) {
  if (end > count) end = count;
  for (int32_t i = begin; i < end; ++i) out[i] *= step;
}

}  // namespace

void requantize(const int32_t* quantized, int32_t count, const GranuleInfo& gi,
                const Layer3ScaleFactors& sf, const ScaleFactorBandTable& table, float* out,
                SimdPath path) {
  if (count < 0) count = 0;
  if (count > 576) count = 576;

  // The side information gives eight-bit gains; any other value is computed.
  const uint32_t g = static_cast<uint32_t>(gi.global_gain);
  const float gain = g < static_cast<uint32_t>(global_gain_table_size)
                         ? global_gain_table[g]
                         : power_of_two_quarters(int64_t{gi.global_gain} - 210);
  const uint32_t shift = static_cast<uint32_t>(gi.scalefac_scale) & 1u;

  const int32_t big_value_lines = 2 * (gi.big_values < 288 ? gi.big_values : 288);
  power_law_lines(quantized, out, count, gain, big_value_lines, path);

  int32_t first_short_band = 0;
  int32_t line = 0;
  if (!gi.is_short_block() || gi.mixed_block_flag == 1) {
    // Long bands: all of them, or those below the short part of a mixed block.
    const int32_t long_end = gi.is_short_block() ? kMixedLongLines : 576;
    for (int32_t cb = 0; cb < 22 && line < long_end && line < count; ++cb) {
      const int32_t next = table.long_bounds[cb + 1];
      const int32_t scalefac = sf.scalefac_l[cb] + (gi.preflag == 1 ? pretab[cb] : 0);
      const uint32_t m = static_cast<uint32_t>(scalefac) << shift;
      scale_lines(out, line, next, count, scale_step(m));
      line = next;
    }
    first_short_band = kMixedFirstShortBand;
  }
  if (gi.is_short_block()) {
    for (int32_t cb = first_short_band; cb < 13 && line < count; ++cb) {
      const int32_t width = table.short_bounds[cb + 1] - table.short_bounds[cb];
      for (int32_t w = 0; w < 3; ++w) {
        const uint32_t scalefac = static_cast<uint32_t>(sf.scalefac_s[w][cb]);
        const uint32_t m = (scalefac << shift) + 4u * static_cast<uint32_t>(gi.subblock_gain[w]);
        scale_lines(out, line, line + width, count, scale_step(m));
        line += width;
      }
    }
  }
  for (int32_t i = count; i < 576; ++i) out[i] = 0.0f;
}

}  // namespace mpegin
