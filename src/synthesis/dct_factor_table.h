#pragma once

namespace mpegin {

// The factors of the 32-point transform's differences, constant data written by
// tools/gen_value_tables.py: f[j] = 1 / (2 cos(j pi / 64)) in double precision rounded to
// float, and the same factors in the order the differences at sizes 32, 16 and 8 take them.
struct DctFactorTable {
  float f[32];
  alignas(16) float size32[16];  // f[2k + 1]
  alignas(16) float size16[8];   // f[4k + 2]
  alignas(16) float size8[4];    // f[8k + 4]
};

extern const DctFactorTable dct_factor_table;

}  // namespace mpegin
