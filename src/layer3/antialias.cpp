#include "layer3/antialias.h"

#include <cstdint>

#include "layer3/hybrid_synthesis.h"
#include "layer3/layer3_side_info.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

// The products in double precision rounded once to single, written out exactly so that nothing
// is computed at start-up (the tests recompute them).
const float alias_cs[8] = {0x1.b7095p-1f,  0x1.c373bp-1f,  0x1.e635bap-1f, 0x1.f77502p-1f,
                           0x1.fdb482p-1f, 0x1.ff91fap-1f, 0x1.fff2cap-1f, 0x1.ffff1ap-1f};
const float alias_ca[8] = {-0x1.076bfcp-1f, -0x1.e30db4p-2f, -0x1.40e604p-2f, -0x1.748ee8p-3f,
                           -0x1.83603ap-4f, -0x1.4f970ep-5f, -0x1.d1423ap-7f, -0x1.e4f68cp-9f};

void antialias(const GranuleInfo& gi, float* hybrid) {
  int32_t boundaries = 31;
  if (gi.is_short_block()) {
    if (gi.mixed_block_flag != 1) return;
    boundaries = 1;  // only between the two long subbands of a mixed block
  }
  // Past the last subband with sound a boundary joins two silent subbands: nothing changes.
  const int32_t active = active_subbands(hybrid);
  if (boundaries > active) boundaries = active;
  int32_t sb = 0;
#if MPEGIN_SSE2
  // Eight butterflies of a boundary as two vectors of four: the upper subband's lines are
  // taken top down by reversing the lane order. The same products and sums per lane.
  const __m128 cs_low = _mm_setr_ps(alias_cs[0], alias_cs[1], alias_cs[2], alias_cs[3]);
  const __m128 cs_high = _mm_setr_ps(alias_cs[4], alias_cs[5], alias_cs[6], alias_cs[7]);
  const __m128 ca_low = _mm_setr_ps(alias_ca[0], alias_ca[1], alias_ca[2], alias_ca[3]);
  const __m128 ca_high = _mm_setr_ps(alias_ca[4], alias_ca[5], alias_ca[6], alias_ca[7]);
  const auto butterflies = [](float* upper_first, float* lower_first, __m128 cs, __m128 ca) {
    // upper_first: the four upper lines in rising order, the highest pairs with lane 0.
    const __m128 bu = _mm_shuffle_ps(_mm_loadu_ps(upper_first), _mm_loadu_ps(upper_first), _MM_SHUFFLE(0, 1, 2, 3));
    const __m128 bd = _mm_loadu_ps(lower_first);
    const __m128 up = _mm_sub_ps(_mm_mul_ps(bu, cs), _mm_mul_ps(bd, ca));
    const __m128 down = _mm_add_ps(_mm_mul_ps(bd, cs), _mm_mul_ps(bu, ca));
    _mm_storeu_ps(upper_first, _mm_shuffle_ps(up, up, _MM_SHUFFLE(0, 1, 2, 3)));
    _mm_storeu_ps(lower_first, down);
  };
  for (; sb < boundaries; ++sb) {
    float* upper = hybrid + 18 * sb;
    float* lower = hybrid + 18 * (sb + 1);
    butterflies(upper + 14, lower, cs_low, ca_low);
    butterflies(upper + 10, lower + 4, cs_high, ca_high);
  }
#endif
  for (; sb < boundaries; ++sb) {
    float* upper = hybrid + 18 * sb + 17;
    float* lower = hybrid + 18 * (sb + 1);
    for (int32_t i = 0; i < 8; ++i) {
      const float bu = upper[-i];
      const float bd = lower[i];
      upper[-i] = bu * alias_cs[i] - bd * alias_ca[i];
      lower[i] = bd * alias_cs[i] + bu * alias_ca[i];
    }
  }
}

}  // namespace mpegin
