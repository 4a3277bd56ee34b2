#include "layer3/hybrid_synthesis.h"

#include <cstdint>
#include <cstring>

#include "layer3/imdct.h"
#include "layer3/layer3_side_info.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

// A subband's time samples: the first half of its transform plus the half kept from the last
// granule; the second half is kept for the next.
inline void overlap_add(float* lines, float* kept, const float* result) {
  for (int32_t t = 0; t < 18; ++t) {
    lines[t] = result[t] + kept[t];
    kept[t] = result[18 + t];
  }
}

}  // namespace

void hybrid_synthesis(const GranuleInfo& gi, float* hybrid, float (*overlap)[18], SimdPath path) {
  const bool mixed = gi.window_switching_flag == 1 && gi.mixed_block_flag == 1;

  // Subbands above the highest non-zero line transform to silence: they only hand over
  // their kept halves (the high subbands of most streams carry nothing).
  const int32_t active = active_subbands(hybrid);

  // Groups of four subbands (two or four groups at once where the path allows). Subbands past
  // `active` that share a group of four with sound
  // are silent: their zeros transform to zeros (of either sign) and leave the kept halves as
  // they are. The two long subbands of a mixed block go one by one.
  const int32_t type = gi.block_type & 3;
  const int32_t transformed = (active + 3) & ~3;
  int32_t sb = 0;
  if (mixed && active > 0) {
    for (; sb < 4; ++sb) {
      float lines[18];
      for (int32_t t = 0; t < 18; ++t) lines[t] = hybrid[18 * sb + t];
      float result[36];
      imdct(lines, result, sb < 2 ? 0 : type);
      overlap_add(hybrid + 18 * sb, overlap[sb], result);
    }
  }
  if (transformed > sb) {
    imdct_overlap(hybrid + 18 * sb, overlap + sb, type, transformed - sb, path);
    sb = transformed;
  }
  for (; sb < 32; ++sb) {
    float* lines = hybrid + 18 * sb;
    float* kept = overlap[sb];
    for (int32_t t = 0; t < 18; ++t) {
      lines[t] = kept[t];
      kept[t] = 0.0f;
    }
  }
}

// A subband is silent when every line is +0 or -0: the bits without the sign are all zero
// (a NaN counts as sound). The test over a whole subband needs no branch per line.
int32_t active_subbands(const float* hybrid) {
#if MPEGIN_SSE2
  const __m128i zero = _mm_setzero_si128();
  for (int32_t sb = 31; sb >= 0; --sb) {
    const float* lines = hybrid + 18 * sb;
    const auto load = [lines](int32_t t) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lines + t)); };
    __m128i any = _mm_or_si128(_mm_or_si128(load(0), load(4)), _mm_or_si128(load(8), load(12)));
    any = _mm_or_si128(any, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(lines + 16)));
    any = _mm_slli_epi32(any, 1);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(any, zero)) != 0xFFFF) return sb + 1;
  }
  return 0;
#else
  for (int32_t sb = 31; sb >= 0; --sb) {
    uint32_t bits[18];
    std::memcpy(bits, hybrid + 18 * sb, sizeof bits);
    uint32_t any = 0;
    for (int32_t t = 0; t < 18; ++t) any |= bits[t] << 1;
    if (any != 0) return sb + 1;
  }
  return 0;
#endif
}

void invert_frequencies(float* hybrid) {
  int32_t first_scalar_line = 1;
#if MPEGIN_SSE2
  // Lines 0..15 four at a time by flipping the sign bits of the odd ones, as negation does.
  const __m128 odd_signs = _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0));
  for (int32_t sb = 1; sb < 32; sb += 2) {
    float* samples = hybrid + 18 * sb;
    for (int32_t t = 0; t < 16; t += 4) _mm_storeu_ps(samples + t, _mm_xor_ps(_mm_loadu_ps(samples + t), odd_signs));
  }
  first_scalar_line = 17;
#endif
  for (int32_t sb = 1; sb < 32; sb += 2) {
    float* samples = hybrid + 18 * sb;
    for (int32_t t = first_scalar_line; t < 18; t += 2) samples[t] = -samples[t];
  }
}

}  // namespace mpegin
