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

// The band table of a stream: version 1 MPEG-1, else LSF (mpeg25: MPEG-2.5). The reserved
// frequency index 3, which no accepted header carries, is clamped into the table.
inline int32_t band_table_index(uint32_t version, bool mpeg25, uint32_t sample_frequency) {
  const uint32_t frequency = sample_frequency < 3 ? sample_frequency : 2;
  const uint32_t family = version == 1 ? 3 : mpeg25 ? 6 : 0;
  return static_cast<int32_t>(frequency + family);
}

}  // namespace mpegin
