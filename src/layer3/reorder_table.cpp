#include "layer3/reorder_table.h"

#include "layer3/scale_factor_band_table.h"

namespace mpegin {

const StartupTable<int32_t[576], kBandTableCount> reorder_table([](int32_t (*rows)[576]) {
  for (int32_t t = 0; t < kBandTableCount; ++t) {
    const int32_t* bounds = band_tables[t].short_bounds;
    for (int32_t b = 0; b < 13; ++b) {
      const int32_t base = 3 * bounds[b];
      const int32_t width = bounds[b + 1] - bounds[b];
      for (int32_t f = 0; f < width; ++f) {
        for (int32_t w = 0; w < 3; ++w) rows[t][base + 3 * f + w] = base + w * width + f;
      }
    }
  }
});

}  // namespace mpegin
