#ifndef MPEGIN_LAYER3_IMDCT_H
#define MPEGIN_LAYER3_IMDCT_H

#include <cstdint>

#include "synthesis/cpu_features.h"


namespace mpegin {

// Long-block windows (rows 0 normal, 1 start, 3 stop; row 2 unused) premultiplied by the output
// factors of the fast 36-point transform, so that every output costs one multiplication.
extern const float imdct_windows[4][36];

// Windowed inverse MDCT of one subband: 18 lines in, 36 samples out. Block type 2 runs three
// 12-point transforms whose windows overlap within the output (outputs 0..5 and 30..35 are 0);
// the other types run one 36-point transform. `input` is used as scratch and left altered.
void imdct(float* input, float* output, int32_t type);

// The same for four neighbouring subbands of one block type, their lines at input[18 * j + k]
// (j = 0..3), into output[j]; each result equals what imdct gives, bit for bit. `input` is
// left as it was.
void imdct_4(const float* input, float (*output)[36], int32_t type);

// imdct_4 with the overlap-add: each of the four subbands' lines (lines[18 * j + t]) becomes
// the first half of its transform plus kept[j], and kept[j] takes the second half. Bit for bit
// what imdct_4 followed by those additions gives.
void imdct_4_overlap(float* lines, float (*kept)[18], int32_t type);

// imdct_4_overlap over `subbands` (a multiple of four) neighbouring subbands, eight or sixteen at a
// time where `path` has the registers for them; the same results on every path.
void imdct_overlap(float* lines, float (*kept)[18], int32_t type, int32_t subbands, SimdPath path);

}  // namespace mpegin

#endif
