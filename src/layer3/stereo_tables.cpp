#include "layer3/stereo_tables.h"

#include <cmath>

namespace mpegin {

const StartupTable<float, 16> intensity_ratio_table([](float* values) {
  const double pi = 3.14159265358979323846;
  for (int p = 0; p < 16; ++p) values[p] = static_cast<float>(std::tan(p * pi / 12));
  values[6] = 1.0e11f;
  values[12] = 0.0f;
});

const StartupTable<float[32], 2> lsf_intensity_table([](float (*rows)[32]) {
  for (int n = 0; n < 32; ++n) {
    rows[0][n] = static_cast<float>(std::pow(2.0, -0.25 * n));
    rows[1][n] = static_cast<float>(std::pow(2.0, -0.5 * n));
  }
});

}  // namespace mpegin
