#pragma once

#include <cstdint>

#include "synthesis/cpu_features.h"
#include "synthesis/sample_sink.h"
#include "synthesis/synthesis_window.h"

namespace mpegin {

// Polyphase synthesis filter bank of ISO/IEC 11172-3 for one channel: each slot turns 32
// subband samples into 32 PCM samples. The V history is a ring of records, one per slot, written
// at a rotating position, so nothing is ever shifted; a record is contiguous, so the windowing
// runs over several output samples at once, and up to 16 slots are stored before they are
// windowed.
class SynthesisFilter {
 public:
  explicit SynthesisFilter(int channel);

  // Clears the history and the inputs; the next slot writes record 0.
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
  // Writes V of the slot `ahead` slots after the current one from its transform X (the
  // matrixing's outputs).
  void store_v(const float* X, uint32_t ahead);

  alignas(64) VHistory history_;
  alignas(16) float subband_inputs_[32];
  uint32_t current_ = 0;  // the record of the next slot
  SimdPath path_;
  int channel_;
};

}  // namespace mpegin
