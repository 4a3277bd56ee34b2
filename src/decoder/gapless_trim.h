// Gapless length: an encoder tag that gives the encoder's delay and padding lets the stream be
// cut to exactly the samples that were encoded.
#pragma once

#include <cstdint>

#include "decoder/stream_info.h"

namespace mpegin {

struct EncoderTag;

// Frames are counted from the first audio frame (every frame that is read counts, whether or
// not it yields samples), and of their samples per channel only those from delay + 529 up to
// padding - 529 before the end of the tagged frame count are kept: 529 samples is the delay of
// the synthesis, which encoders count in their padding. Frames past the tagged count (a
// stream appended to the file) are delivered whole rather than lost. Trimming is on by
// default; a stream without such a tag, or whose delay and padding do not fit its frame count,
// keeps whole frames.
class GaplessTrim {
 public:
  static constexpr uint32_t kDecoderDelay = 529;

  // Sets up trimming for a stream of `frames` frames of `frame_samples` samples per channel.
  void start(const EncoderTag& tag, uint64_t frames, uint32_t frame_samples, uint32_t channels);
  // Back to an untagged stream with trimming on.
  void reset();
  void set_enabled(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_; }
  // A trusted tag is there (whether or not trimming is on).
  bool tagged() const { return tagged_; }
  // Samples per channel the stream delivers: trimmed or whole frames; 0 without a tag.
  uint64_t samples() const;

  // One decoded frame of `frame_samples` per channel, interleaved 32-bit floats: `samples`
  // and `bytes` are narrowed to the part inside the kept range.
  void trim(uint32_t frame_samples, const float*& samples, uint32_t& bytes);

  // Decoding goes on at sample `position` (the start of a frame; a seek).
  void seek(uint64_t position) { position_ = position; }
  // Samples per channel delivered of the frames before sample `position`.
  uint64_t delivered_before(uint64_t position) const { return position == 0 ? 0 : delivered(position); }

  // Samples per channel delivered of a stream whose frames hold `total` samples per channel
  // (0: the tagged frames).
  uint64_t delivered(uint64_t total) const;

  // With a tag, the duration becomes the exact length delivered of a stream of `total`
  // samples per channel (0: the tagged frames).
  void describe(StreamInfo& info, uint64_t total = 0) const;

 private:
  uint64_t begin_ = 0;     // first kept sample
  uint64_t end_ = 0;       // one past the last kept sample
  uint64_t whole_ = 0;     // samples of the tagged frames
  uint64_t position_ = 0;  // sample at which the next frame starts
  uint32_t channels_ = 1;
  bool tagged_ = false;
  bool enabled_ = true;
};

// A duration in milliseconds from which trunc(rate x ms x 0.001), the way hosts size the
// decoded stream, gives back exactly `samples`.
double exact_duration_ms(uint64_t samples, int32_t rate);

}  // namespace mpegin
