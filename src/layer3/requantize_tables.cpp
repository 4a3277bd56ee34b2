#include "layer3/requantize_tables.h"

#include <cmath>

namespace mpegin {

const int32_t pretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

const StartupTable<float, global_gain_table_size> global_gain_table([](float* values) {
  for (int32_t g = 0; g < global_gain_table_size; ++g) {
    values[g] = static_cast<float>(std::pow(2.0, (g - 210) * 0.25));
  }
});

const StartupTable<float, scale_step_table_size> scale_step_table([](float* values) {
  for (int32_t n = 0; n < scale_step_table_size; ++n) {
    values[n] = static_cast<float>(std::pow(2.0, -0.5 * n));
  }
});

}  // namespace mpegin
