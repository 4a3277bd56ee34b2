#pragma once

#include <cstdint>
#include <memory>

namespace mpegin {

// What a walk over the frame headers of a file finds, without decoding anything: the frames
// the decoder context will deliver, their samples, the largest channel count, whether the
// bit rate varies, and where the format changes.
struct StreamWalk {
  uint64_t frames = 0;             // audio frames up to the end or to a change of rate
  uint64_t samples = 0;            // samples per channel of those frames
  uint64_t bytes = 0;              // their bytes, headers included
  int32_t sample_rate = 0;         // Hz
  int32_t max_channels = 0;        // 1 or 2
  bool variable_rate = false;      // the bitrate index differs between frames
  // The first frame whose layer or channel count differs from the first frame's, as its
  // frame index and the samples per channel before it; 0 frames when there is none.
  uint64_t change_frame = 0;
  uint64_t change_samples = 0;
  int32_t change_layer = 0;
  int32_t change_channels = 0;
  // The sample rate the stream changes to after `samples` (where decoding ends); 0 when it
  // keeps its rate.
  int32_t changed_rate = 0;

  // Average bit rate of the audio in bit/s.
  double average_bitrate() const;
  double duration_ms() const;
};

class ByteSource;
class FrameIndex;

// Walks the headers of the file from its first audio frame (after tags and an encoder's
// information frame) to the end. False when the file cannot be read or holds no audio.
bool walk_stream(const char* file_name, StreamWalk& walk);
// The same over a source from its start (a file or memory; see ByteSource::reopen). With an
// index, where the frames start is noted in it (cleared first); a walk that cannot note them
// all leaves it empty.
bool walk_stream(std::unique_ptr<ByteSource> source, StreamWalk& walk, FrameIndex* index = nullptr);

}  // namespace mpegin
