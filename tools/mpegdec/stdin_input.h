// Standard input decoded as a stream through the decoder library: nothing is stored on the
// way, samples come from the first confirmed frames on, and they are converted exactly as the
// module converts them for the same option word.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoded_input.h"
#include "module_delivery.h"
#include "mpegaudio/mpegaudio.h"

namespace mpegin::mpegdec {

class StdinInput final : public DecodedInput {
 public:
  // `word` as mpegdec gives it to the module (see ModuleDelivery).
  explicit StdinInput(uint32_t word);
  ~StdinInput() override;
  StdinInput(const StdinInput&) = delete;
  StdinInput& operator=(const StdinInput&) = delete;

  enum class Opened { kOk, kNotMpeg, kCannotRead };
  // Reads standard input until its first frame is confirmed. kNotMpeg: `reason` says so as
  // mpegdec says it of a file ("not MPEG audio (FLAC data)") and `decoder_message` is the
  // decoder's own text where it has one ("Unknown sample frequency!"); kCannotRead: `reason`
  // is the system's.
  Opened open(std::string& reason, std::string& decoder_message);

  uint32_t read_frame(void* destination) override;
  size_t block_bytes() const override { return kBlockBytes; }
  // Counted from the frames' flags as the module counts them.
  bool events(MpegStreamEvents& events) const override;
  // A stream's length is not known before its end.
  double expected_seconds() const override { return 0.0; }
  std::string failure() const override { return failure_; }

  int sample_rate() const override { return info_.sample_rate; }
  int channels() const override { return info_.channels; }
  int width() const override { return delivery_.width(); }
  uint32_t option_word() const override { return delivery_.word(); }

 private:
  static constexpr size_t kBlockBytes = 16384;   // a frame of 1152 stereo floats fits
  // What is kept of the bytes read: enough to read back the header of a frame the decoder
  // has just delivered, however far it has read ahead.
  static constexpr size_t kHistoryBytes = 1 << 16;
  static constexpr size_t kMostPerRead = 1 << 16;

  static ptrdiff_t read_callback(void* user, void* buffer, size_t size);
  // The sniffed prefix first, then standard input itself.
  ptrdiff_t read_stdin(void* buffer, size_t size);
  ptrdiff_t read_fd(void* buffer, size_t size);
  // Reads standard input into the sniffed prefix until it holds `size` bytes or the input ends.
  size_t fill_prefix(size_t size);
  void note_frame(const mpegaudio_frame& frame);

  ModuleDelivery delivery_;
  mpegaudio_decoder* decoder_ = nullptr;
  mpegaudio_info info_{};
  std::vector<unsigned char> prefix_;   // read for the sniffing, handed to the decoder first
  size_t prefix_given_ = 0;
  bool at_end_ = false;
  int read_error_ = 0;                  // errno of a failed read
  std::vector<unsigned char> history_;  // ring of the last kHistoryBytes read
  uint64_t bytes_read_ = 0;
  MpegStreamEvents events_{};
  std::string failure_;
};

}  // namespace mpegin::mpegdec
