#pragma once

#include <cstdint>

namespace mpegin {

// Scale factor band limits in spectral lines of one granule.
struct ScaleFactorBandTable {
  int32_t long_bounds[23];    // long band b: lines long_bounds[b] .. long_bounds[b+1]-1
  int32_t short_bounds[14];   // short band b of each window: short_bounds[b] .. [b+1]-1
};

// Indexed by the sampling frequency index, plus 3 for MPEG-1 and 6 for MPEG-2.5:
// 0..2 = 22050, 24000, 16000 Hz (LSF); 3..5 = 44100, 48000, 32000 Hz (MPEG-1);
// 6..8 = 11025, 12000, 8000 Hz (MPEG-2.5).
constexpr int kBandTableCount = 9;
extern const ScaleFactorBandTable band_tables[kBandTableCount];

}  // namespace mpegin
