// One input opened through the module and read frame by frame, following the host calling
// sequence: OpenFilterInput, FilterSetOptions2, ReadFilterInput, CloseFilterInput.
#pragma once

#include <cstdint>
#include <string>

#include "module_api.h"

namespace mpegin::mpegdec {

class ModuleInput {
 public:
  explicit ModuleInput(const ModuleApi& api);
  ~ModuleInput();
  ModuleInput(const ModuleInput&) = delete;
  ModuleInput& operator=(const ModuleInput&) = delete;

  // False when the module refuses the file (no MPEG audio in it).
  bool open(const std::string& path);

  // Applies an OptionWord (0: the stored options, as the editor does) and returns the width
  // the module delivers, 16 or 32.
  int apply_options(uint32_t word);

  // Reads on to the next frame that carries samples into `destination`, which holds
  // block_bytes(), and returns their count (interleaved); 0 at the end of the stream. At width
  // 32 the samples are floats with full scale 1.0 (the module's 16-bit-unit floats divided by
  // 32768), at width 16 16-bit integers.
  uint32_t read_frame(void* destination);
  // The most one read can deliver: the block size the module reports, at least 16384.
  size_t block_bytes() const { return block_bytes_; }

  // What reading has met so far (MpegInputStreamEvents); false, with `events` zeroed, when
  // the module does not tell.
  bool events(MpegStreamEvents& events) const;
  // The duration of the whole output the module expects, in seconds (0 when unknown).
  double expected_seconds() const;

  // FilterOptionsString's text ("MPEG-1 Layer 2\r\n(128 kbit/s)").
  std::string description() const;

  void close();

  int sample_rate() const { return sample_rate_; }
  int channels() const { return channels_; }
  int width() const { return width_; }
  uint32_t option_word() const;

 private:
  const ModuleApi& api_;
  MpegInputHandle handle_ = nullptr;
  size_t block_bytes_ = 0;
  int sample_rate_ = 0;
  int channels_ = 0;
  int width_ = 0;
};

}  // namespace mpegin::mpegdec
