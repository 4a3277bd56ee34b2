#pragma once

#include <cstdint>

namespace mpegin {

struct GranuleInfo;

// The lines of source[576] into hybrid[576] in the order the hybrid filter bank takes: as they
// are for long blocks; for short blocks the three windows' coefficients interleaved within each
// subband (a mixed block keeps its two long subbands as they are).
void reorder(const float* source, const GranuleInfo& gi, int32_t band_table_index, float* hybrid);

}  // namespace mpegin
