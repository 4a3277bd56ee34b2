#pragma once

namespace mpegin {

// Layer I requantisation by allocation a (codes of a + 1 bits): a code q becomes
// (q * layer1_factor[a] + layer1_offset[a]) * scale factor, which is
// scale factor * (2q + 2 - 2^(a+1)) / (2^(a+1) - 1). Allocation 0 (not coded)
// and 15 (not allowed) hold 0.0, so an allocation of 15 decodes to silence.
extern const float layer1_factor[16];
extern const float layer1_offset[16];

}  // namespace mpegin
