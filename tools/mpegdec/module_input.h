// One input opened through the module and read frame by frame, following the host calling
// sequence: OpenFilterInput, FilterSetOptions2, ReadFilterInput, CloseFilterInput.
#pragma once

#include <cstdint>
#include <string>

#include "decoded_input.h"
#include "module_api.h"

namespace mpegin::mpegdec {

class ModuleInput final : public DecodedInput {
 public:
  explicit ModuleInput(const ModuleApi& api);
  ~ModuleInput() override;
  ModuleInput(const ModuleInput&) = delete;
  ModuleInput& operator=(const ModuleInput&) = delete;

  // False when the module refuses the file (no MPEG audio in it).
  bool open(const std::string& path);

  // Applies an OptionWord (0: the stored options, as the editor does) and returns the width
  // the module delivers, 16 or 32.
  int apply_options(uint32_t word);

  // At width 32 the module's 16-bit-unit floats divided by 32768.
  uint32_t read_frame(void* destination) override;
  // The block size the module reports, at least 16384.
  size_t block_bytes() const override { return block_bytes_; }

  // MpegInputStreamEvents; false when the module does not tell.
  bool events(MpegStreamEvents& events) const override;
  // The duration the module expects from its walk at open.
  double expected_seconds() const override;

  // FilterOptionsString's text ("MPEG-1 Layer 2\r\n(128 kbit/s)").
  std::string description() const;

  void close();

  int sample_rate() const override { return sample_rate_; }
  int channels() const override { return channels_; }
  int width() const override { return width_; }
  uint32_t option_word() const override;

 private:
  const ModuleApi& api_;
  MpegInputHandle handle_ = nullptr;
  size_t block_bytes_ = 0;
  int sample_rate_ = 0;
  int channels_ = 0;
  int width_ = 0;
};

}  // namespace mpegin::mpegdec
