// Dithered conversion of 16-bit-scaled floats to 16-bit integers: triangular noise of +-1
// unit from a process-wide linear congruential generator, rounding, clipping to
// [-32768, 32767].
#pragma once

#include <cstdint>

namespace mpegin {

// Sets the generator state (OpenFilterInput seeds it from the tick count).
void dither_seed(uint32_t state);
uint32_t dither_state();

// The state `steps` draws after `from`, in O(log steps): where the generator stands after
// that many samples' worth of draws (two per sample), so that parts of one output can be
// converted apart with the noise the whole would get.
uint32_t dither_skip(uint32_t from, uint64_t steps);

// Next value in [0, 1): state = (state x 524309 + 1) mod 2^21, returned as state / 2^21.
double dither_random();

// Two draws per sample, in buffer order. `stereo` marks interleaved pairs; the result is
// that of taking the samples one after the other. count <= 0 does nothing. This is the
// written-out definition of the dithered conversion; reads use scale_and_convert_dithered,
// which gives the same samples in one pass.
void convert_dithered(int16_t* output, const float* input, int32_t count, int32_t stereo, double amplitude);

}  // namespace mpegin
