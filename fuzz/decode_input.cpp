#include "decode_input.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "decoder/decoder_context.h"

namespace mpegin::fuzz {

DecodeOutcome decode_file(const std::string& path, uint64_t max_calls, bool walk) {
  DecodeOutcome outcome;
  alignas(16) static float frame[8192];
  DecoderContext context;
  outcome.opened = context.open(path.c_str(), walk) != 0;
  if (!outcome.opened) return outcome;
  while (outcome.calls < max_calls && !context.end_of_stream()) {
    const uint32_t bytes = context.decode_next(frame);
    ++outcome.calls;
    const uint32_t count = bytes / 4;
    if (count > 2304) outcome.bounded = false;
    if (count == 0 && !context.end_of_stream()) ++outcome.empty_calls;
    for (uint32_t i = 0; i < count && i < 8192; ++i)
      if (!std::isfinite(frame[i])) outcome.all_finite = false;
    outcome.samples += count;
  }
  context.close();
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
