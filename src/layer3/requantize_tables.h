#ifndef MPEGIN_LAYER3_REQUANTIZE_TABLES_H
#define MPEGIN_LAYER3_REQUANTIZE_TABLES_H

#include <cstdint>


namespace mpegin {

// Pre-emphasis added to the long-band scale factors when `preflag` is set (ISO/IEC 11172-3).
extern const int32_t pretab[22];

constexpr int32_t pow43_table_size = 8192;
// n^(4/3) for n = 0..8191, constant data (pow43_table.cpp, made by tools/gen_pow43_table.py).
extern const float pow43_table[pow43_table_size];

constexpr int32_t global_gain_table_size = 256;
// 2^((g - 210) / 4) for every eight-bit global gain g, the double-precision power rounded to float.
extern const float global_gain_table[global_gain_table_size];

constexpr int32_t scale_step_table_size = 64;
// 2^(-n/2) for n = 0..63.
extern const float scale_step_table[scale_step_table_size];

}  // namespace mpegin

#endif
