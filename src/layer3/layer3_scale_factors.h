#pragma once

#include <cstdint>

namespace mpegin {

// Scale factors of one channel; they persist across granules (scfsi reuse).
struct Layer3ScaleFactors {
  int32_t scalefac_l[23];      // long bands 0..22; 21 and 22 carry none of their own (0)
  int32_t scalefac_s[3][13];   // [window][short band]; band 12 carries none (0)
};

}  // namespace mpegin
