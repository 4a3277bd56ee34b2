// libFuzzer entry: any byte string, decoded from memory, must neither crash nor hang, and must
// deliver at most one frame of finite samples per call.
#include <cstdlib>

#include <mpegaudio/mpegaudio.h>

#include "decode_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every call consumes at least one 4-byte header, so a stream ends after size / 4 + 2 calls.
  // Odd sizes are decoded without the header walk (the first frame's channel count holds).
  const auto outcome = mpegin::fuzz::decode_memory(data, size, size / 4 + 2,
                                                   size % 2 == 0 ? 0u : MPEGAUDIO_NO_WALK);
  if (outcome.opened && (outcome.calls > size / 4 + 1 || !outcome.all_finite || !outcome.bounded ||
                         !outcome.consistent || outcome.empty_calls != 0))
    std::abort();
  return 0;
}
