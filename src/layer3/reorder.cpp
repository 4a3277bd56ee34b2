#include "layer3/reorder.h"

#include <cstdint>

#include "layer3/layer3_side_info.h"
#include "layer3/reorder_table.h"

namespace mpegin {

void reorder(const float* source, const GranuleInfo& gi, int32_t band_table_index, float* hybrid) {
  if (!gi.is_short_block()) {
    for (int32_t i = 0; i < 576; ++i) hybrid[i] = source[i];
    return;
  }
  // The table regroups each short band within its own lines, so a mixed block keeps its two
  // long subbands (lines 0..35, short bands 0..2) and takes the table from line 36 on.
  const int32_t long_lines = gi.mixed_block_flag == 1 ? 36 : 0;
  for (int32_t i = 0; i < long_lines; ++i) hybrid[i] = source[i];
  const int32_t* order = reorder_table[static_cast<uint32_t>(band_table_index)];
  for (int32_t i = long_lines; i < 576; ++i) hybrid[i] = source[order[i]];
}

}  // namespace mpegin
