#pragma once

#include <cstdint>

#include "synthesis/cpu_features.h"
#include "synthesis/sample_sink.h"

namespace mpegin {

// Polyphase synthesis filter bank of ISO/IEC 11172-3 for one channel: each slot turns 32
// subband samples into 32 PCM samples. The V history lives in two alternating buffers of
// 16 columns by 32 rows, written at a rotating column, so nothing is ever shifted. A column
// is contiguous, so the windowing runs over several output samples at once.
class SynthesisFilter {
 public:
  explicit SynthesisFilter(int channel);

  // Clears the history and the inputs; the next slot writes column 15 of the first buffer.
  void reset();

  // Stores the sample of `subband` (0..31) for the current slot.
  void put_sample(int subband, float value) { subband_inputs_[subband] = value; }

  // Synthesises the current slot, appends its 32 samples for this filter's channel to `out`
  // and clears the inputs for the next slot.
  void synthesize(SampleSink& out);

  // Synthesises one slot from the 32 subband samples at `inputs`, in place of put_sample and
  // synthesize; the stored inputs are neither read nor changed.
  void synthesize(const float* inputs, SampleSink& out);

  // Synthesises `count` slots in a row and writes their 32 x count PCM samples to `pcm`
  // (slot t's at pcm[32 t]), without a sink. Subband k of slot t is inputs[k * stride + t]
  // (stride >= count): a granule laid out subband by subband needs no turning. The results
  // are those of `count` calls of synthesize; the stored inputs are neither read nor changed.
  void synthesize_slots(const float* inputs, uint32_t stride, uint32_t count, float* pcm);

  int channel() const { return channel_; }

 private:
  void update_v(const float* inputs);
  // Writes the column of the current slot from its transform X (the matrixing's outputs).
  void store_v(const float* X);
  void window(float* out) const;
  void advance() {
    write_column_ = (write_column_ + 1) & 15;
    front_buffer_ ^= 1;
  }

  alignas(64) float v_buffer_[2][16][32];  // [buffer][column q][row r]
  alignas(16) float subband_inputs_[32];
  uint32_t front_buffer_ = 0;  // which v_buffer_ the windowing reads this slot
  uint32_t write_column_ = 15;
  SimdPath path_;
  int channel_;
};

}  // namespace mpegin
