#pragma once

#include <cstdint>

namespace mpegin {

// Receives the PCM samples that the synthesis filters produce, one channel at a time.
// Samples are 32-bit floats at unit scale (full scale 1.0).
class SampleSink {
 public:
  virtual ~SampleSink() = default;

  // Appends `count` consecutive samples for `channel`.
  virtual void append_block(int channel, const float* values, uint32_t count) = 0;
  // Appends `count` samples of channel 0 from `first` and as many of channel 1 from `second`:
  // the same as append_block for each, which a sink may do in one interleaving pass.
  virtual void append_pair(const float* first, const float* second, uint32_t count) {
    append_block(0, first, count);
    append_block(1, second, count);
  }
  // Hands out everything appended since the last take, interleaved by channel, and rewinds.
  // `length_bytes` receives the number of bytes at the returned address.
  virtual const float* take(uint32_t& length_bytes) = 0;
};

}  // namespace mpegin
