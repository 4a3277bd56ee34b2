#ifndef MPEGIN_LAYER3_ANTIALIAS_H
#define MPEGIN_LAYER3_ANTIALIAS_H

#include "layer3/startup_table.h"

namespace mpegin {

// Butterfly coefficients from the antialias coefficients c_i of ISO/IEC 11172-3:
// alias_cs[i] = 1 / sqrt(1 + c_i^2), alias_ca[i] = c_i / sqrt(1 + c_i^2).
extern const StartupTable<float, 8> alias_cs;
extern const StartupTable<float, 8> alias_ca;

}  // namespace mpegin

#endif
