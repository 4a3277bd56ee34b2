#pragma once

#include <cstdint>

#include "synthesis/cpu_features.h"

namespace mpegin {

// The synthesis window D[0..511] of ISO/IEC 11172-3 (Table 3-B.3) reordered by output
// sample: synthesis_window[16 * j + t] = D[32 * t + j], j = 0..31, t = 0..15.
extern const float synthesis_window[512];

// The windowing of one slot: out[j] = sum over taps t = 0..15 of
// synthesis_window[16 j + t] * v[(newest - t) & 15][j], for the 32 output samples j, where `v`
// holds the 16 columns of one V buffer (see SynthesisFilter) and column `newest` the newest.
void window_slot(const float (*v)[32], uint32_t newest, float* out, SimdPath path = simd_path());

}  // namespace mpegin
