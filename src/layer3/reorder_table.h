#ifndef MPEGIN_LAYER3_REORDER_TABLE_H
#define MPEGIN_LAYER3_REORDER_TABLE_H

#include <cstdint>

#include "layer3/scale_factor_band_table.h"
#include "layer3/startup_table.h"

namespace mpegin {

// Per band table: for a short block that is not mixed, hybrid line i takes the line
// reorder_table[t][i] of the band-and-window ordered spectrum, so that the 18 lines of each
// subband hold the three windows interleaved (line 3k + w of a subband is coefficient k of
// window w).
extern const StartupTable<int32_t[576], kBandTableCount> reorder_table;

}  // namespace mpegin

#endif
