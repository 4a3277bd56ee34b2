#include "decode_input.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include <mpegaudio/mpegaudio.h>

namespace mpegin::fuzz {

DecodeOutcome decode_memory(const uint8_t* data, size_t size, uint64_t max_calls, unsigned flags) {
  DecodeOutcome outcome;
  std::unique_ptr<mpegaudio_decoder, decltype(&mpegaudio_delete)> decoder(mpegaudio_new(),
                                                                         mpegaudio_delete);
  mpegaudio_info info;
  outcome.opened = decoder && mpegaudio_open_memory(decoder.get(), data, size, flags) == MPEGAUDIO_OK &&
                   mpegaudio_get_info(decoder.get(), &info) == MPEGAUDIO_OK;
  if (!outcome.opened) return outcome;
  // A frame wholly inside an encoder's delay or padding yields no samples.
  const bool may_trim = (flags & MPEGAUDIO_NO_GAPLESS) == 0 &&
                        (info.encoder_delay != 0 || info.encoder_padding != 0);
  mpegaudio_frame frame;
  while (outcome.calls < max_calls) {
    const int status = mpegaudio_decode(decoder.get(), &frame);
    if (status != MPEGAUDIO_OK) {
      if (status != MPEGAUDIO_END) outcome.consistent = false;
      break;
    }
    ++outcome.calls;
    if (frame.channels != info.channels || frame.sample_rate != info.sample_rate)
      outcome.consistent = false;
    const size_t count = frame.sample_count * size_t(frame.channels == 2 ? 2 : 1);
    if (frame.sample_count > 1152) outcome.bounded = false;
    if (count == 0 && !may_trim) ++outcome.empty_calls;
    for (size_t i = 0; i < count && i < 2304; ++i)
      if (!std::isfinite(frame.samples[i])) outcome.all_finite = false;
    outcome.samples += count;
  }
  return outcome;
}

std::string write_temp(const uint8_t* data, size_t size) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/mpegin-fuzz-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return "";
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  ::close(fd);
  return path;
}

}  // namespace mpegin::fuzz
