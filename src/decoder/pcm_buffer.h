#pragma once

#include <cstdint>
#include <memory>

#include "synthesis/sample_sink.h"

namespace mpegin {

class FrameHeader;

// Collects the samples of one frame, interleaved by channel: sample k of channel j is float
// k * channels + j of the store.
class PcmBuffer : public SampleSink {
 public:
  // A store of `channels` channels (1, else 2) sized from the stream's first header; null when
  // it cannot be allocated.
  static std::unique_ptr<PcmBuffer> create(const FrameHeader& header, uint32_t channels);

  uint32_t channels() const { return channels_; }
  // The sizing base taken from the first frame's header, in bytes.
  uint32_t frame_bytes() const { return frame_bytes_; }
  // Store size in floats.
  uint32_t capacity() const { return capacity_; }

  void append_block(int channel, const float* values, uint32_t count) override;
  // Two channels in step (channel 1 one slot behind channel 0) are interleaved straight into
  // the store; anything else goes through append_block.
  void append_pair(const float* first, const float* second, uint32_t count) override;
  const float* take(uint32_t& length_bytes) override;
  // A two-channel buffer whose frame wrote channel 0 only: channel 1 gets the same samples.
  void copy_first_channel();

 private:
  // The store comes from malloc and is zeroed only as far as writes reach (stereo blocks read
  // the other channel's slots to write them back, and a take hands out whole slot pairs), so
  // the part of it no frame reaches is never touched and costs no resident memory.
  struct FreeStore {
    void operator()(float* store) const;
  };
  using Store = std::unique_ptr<float[], FreeStore>;

  PcmBuffer(uint32_t channels, uint32_t frame_bytes, Store store);

  // Zeroes the store from the high-water mark up to float `end` (at most the capacity).
  void reach(uint64_t end) {
    if (end > zeroed_) zero_up_to(end);
  }
  void zero_up_to(uint64_t end);

  uint32_t write_index_[2];  // float index of each channel's next sample
  uint32_t channels_;
  uint32_t frame_bytes_;
  uint32_t capacity_;
  uint32_t zeroed_ = 0;  // floats from the start of the store that are zeroed or written
  Store store_;
};

}  // namespace mpegin
