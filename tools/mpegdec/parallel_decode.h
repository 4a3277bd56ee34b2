// One input decoded on several threads through the decoder library, with the module's
// conversion (gain, width, dither), into the bytes a decode on one thread gives.
//
// The stream is cut into chunks of a few dozen frames. Worker t decodes chunks t, t + N,
// t + 2N, ..., each after a seek to its first frame (the library decodes a few frames before
// it and drops them, so that the chunk comes out exactly as in a decode from the start), and
// converts it into a buffer of its own; the writer takes the chunks in order. Memory grows by
// one decoder and one chunk buffer per thread (about 400 KiB), never by the length of the input.
// Dithered output: each chunk starts the generator where the whole output would have it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/mpeginput.h"

namespace mpegin::mpegdec {

class AudioWriter;

// What the module does to the decoder's samples, from the option word it applied.
struct SampleConversion {
  int width = 16;           // 16: integers; 32: floats with full scale 1.0
  float gain = 32768.0f;    // the module's gain (16-bit units)
  bool dither = false;
  uint32_t dither_seed = 0; // the generator's state at the first sample
};
SampleConversion conversion_of_word(uint32_t applied_word, uint32_t dither_seed);

class ParallelDecode {
 public:
  ParallelDecode() = default;
  ~ParallelDecode();
  ParallelDecode(const ParallelDecode&) = delete;
  ParallelDecode& operator=(const ParallelDecode&) = delete;

  // Opens the file on `threads` decoders. False when parts of it cannot be decoded apart
  // exactly (the walk found a change of layer, channel count or rate, or it is too short to
  // share): the caller then decodes it on one thread.
  bool open(const std::string& path, int threads, bool whole_frames);

  // Decodes everything into `writer`; `progress(interleaved samples so far)` follows each
  // chunk. `events` gets the concealed frames, as the module reports them. False when a
  // write or a read failed (`error` says which: "write" or "read").
  bool run(const SampleConversion& conversion, AudioWriter& writer,
           const std::function<void(uint64_t)>& progress, MpegStreamEvents& events,
           uint64_t& samples, std::string& error);

  int threads() const { return threads_; }

 private:
  struct Worker;
  void close();

  Worker* workers_ = nullptr;
  int threads_ = 0;
  int channels_ = 0;
  int sample_rate_ = 0;
  int layer_ = 0;
  uint64_t frames_ = 0;
  uint32_t frame_samples_ = 0;
};

}  // namespace mpegin::mpegdec
