#pragma once

namespace mpegin {

// The synthesis window D[0..511] of ISO/IEC 11172-3 (Table 3-B.3) reordered by output
// sample: synthesis_window[16 * j + t] = D[32 * t + j], j = 0..31, t = 0..15.
extern const float synthesis_window[512];

}  // namespace mpegin
