#include "layer3/antialias.h"

#include <cmath>
#include <cstdint>

#include "layer3/layer3_decoder.h"

namespace mpegin {

namespace {

const double antialias_coefficients[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

}  // namespace

const StartupTable<float, 8> alias_cs([](float* values) {
  for (int i = 0; i < 8; ++i) {
    const double c = antialias_coefficients[i];
    values[i] = static_cast<float>(1.0 / std::sqrt(1.0 + c * c));
  }
});

const StartupTable<float, 8> alias_ca([](float* values) {
  for (int i = 0; i < 8; ++i) {
    const double c = antialias_coefficients[i];
    values[i] = static_cast<float>(c / std::sqrt(1.0 + c * c));
  }
});

void Layer3Decoder::antialias(uint32_t ch, uint32_t gr) {
  const GranuleInfo& gi = granule_info(ch, gr);
  int32_t boundaries = 31;
  if (gi.is_short_block()) {
    if (gi.mixed_block_flag != 1) return;
    boundaries = 1;  // only between the two long subbands of a mixed block
  }
  // Past the last subband with sound a boundary joins two silent subbands: nothing changes.
  const int32_t active = active_subbands();
  if (boundaries > active) boundaries = active;
  for (int32_t sb = 0; sb < boundaries; ++sb) {
    float* upper = hybrid + 18 * sb + 17;
    float* lower = hybrid + 18 * (sb + 1);
    for (int32_t i = 0; i < 8; ++i) {
      const float bu = upper[-i];
      const float bd = lower[i];
      upper[-i] = bu * alias_cs[i] - bd * alias_ca[i];
      lower[i] = bd * alias_cs[i] + bu * alias_ca[i];
    }
  }
}

}  // namespace mpegin
