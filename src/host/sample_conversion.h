// Scaling of decoded samples (full scale 1.0) into what the host reads.
#pragma once

#include <cstdint>

namespace mpegin {

// Multiplies count floats in place by gain, each product rounded to single precision.
void scale_samples(float* samples, uint32_t count, float gain);
// The same from `input` into `output` (the two may be the same array).
void scale_samples(float* output, const float* input, uint32_t count, float gain);
// Two scalings in one pass: (input x gain) x then, each product rounded to single precision, the
// same values as scale_samples with gain followed by scale_samples with then.
void scale_samples(float* output, const float* input, uint32_t count, float gain, float then);

// 16-bit samples without dither: v = f x gain in single precision, clipped to
// [-32767, 32767] and truncated toward zero.
void convert_clipped(int16_t* output, const float* input, uint32_t count, float gain);

// 16-bit samples with dither in one pass, as dithered reads deliver them: the same samples,
// and the same generator state afterwards, as scale_samples into a side buffer followed by
// convert_dithered with the amplitude 1.0, without the side buffer or a call per sample.
void scale_and_convert_dithered(int16_t* output, const float* input, uint32_t count, float gain);
// The same with a generator state of the caller's (threads converting parts of one output).
void scale_and_convert_dithered(int16_t* output, const float* input, uint32_t count, float gain,
                                uint32_t& state);

}  // namespace mpegin
