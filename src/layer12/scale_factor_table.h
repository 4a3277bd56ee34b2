#pragma once

namespace mpegin {

// Layer I and II scale factors: entry i = 2^(1 - i/3) for i = 0..62; the
// index 63 is not allowed in a valid stream and yields 0.0 (silence).
extern const float scale_factor_table[64];

}  // namespace mpegin
