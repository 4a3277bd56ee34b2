#pragma once

#include <cstdint>

#include "synthesis/cpu_features.h"

namespace mpegin {

struct GranuleInfo;

// The inverse MDCT of every subband of hybrid[576] (line 18 * subband + slot) with the window of
// the granule's block type, overlap-added: hybrid then holds the 18 time samples of each
// subband, overlap[32][18] the second halves for the next granule. `path` chooses the transforms
// of several subbands at once; every path gives the same results.
void hybrid_synthesis(const GranuleInfo& gi, float* hybrid, float (*overlap)[18],
                      SimdPath path = simd_path());
// Subbands of hybrid up to and including the last one with a non-zero line (0..32).
int32_t active_subbands(const float* hybrid);
// Negates every odd time slot of every odd subband of hybrid.
void invert_frequencies(float* hybrid);

}  // namespace mpegin
