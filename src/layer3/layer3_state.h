#pragma once

#include <cstdint>

#include "layer3/bit_reservoir.h"

namespace mpegin {

// What Layer III decoding keeps from one frame to the next: the main-data reservoir, the second
// halves of the hybrid filter bank's transforms, the spectrum that stands in for damaged frames,
// and the layout of the stream's frames.
struct Layer3State {
  BitReservoir reservoir;
  alignas(64) float overlap[2][32][18];     // [channel][subband][slot], added to the next granule
  alignas(64) float concealment[2][576];    // the last long-block spectrum after stereo processing
  uint32_t channel_count = 2;     // of the current frame format: 1 or 2
  uint32_t granule_count = 2;     // 2 for MPEG-1, 1 for LSF
  int32_t band_table_index = 0;   // into band_tables and reorder_table
};

}  // namespace mpegin
