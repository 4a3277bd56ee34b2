// An input being decoded, frame by frame, in the format the module delivers: through the
// module for a file (ModuleInput), through the library for standard input (StdinInput).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/mpeginput.h"

namespace mpegin::mpegdec {

class DecodedInput {
 public:
  virtual ~DecodedInput() = default;

  // Reads on to the next frame that carries samples into `destination`, which holds
  // block_bytes(), and returns their count (interleaved); 0 at the end of the stream. At width
  // 32 the samples are floats with full scale 1.0, at width 16 16-bit integers.
  virtual uint32_t read_frame(void* destination) = 0;
  // Reads on as read_frame does, or hands out samples the input holds (any number, valid until
  // the next read) through `held` instead of putting them at `destination`; `held` is null when
  // they are at `destination`.
  virtual uint32_t read(void* destination, const void*& held) {
    held = nullptr;
    return read_frame(destination);
  }
  // The most one read can deliver.
  virtual size_t block_bytes() const = 0;
  // What reading has met so far; false, with `events` zeroed, when it is not known.
  virtual bool events(MpegStreamEvents& events) const = 0;
  // The duration of the whole output in seconds; 0 when unknown.
  virtual double expected_seconds() const = 0;
  // Why reading ended before the end of the stream (a read error); empty when it did not.
  virtual std::string failure() const { return {}; }
  // Threads decoding it.
  virtual int threads() const { return 1; }

  virtual int sample_rate() const = 0;
  virtual int channels() const = 0;
  virtual int width() const = 0;
  virtual uint32_t option_word() const = 0;   // the word applied
};

}  // namespace mpegin::mpegdec
