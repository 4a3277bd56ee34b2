// libFuzzer entry: any byte string, decoded as a file, must neither crash nor hang, and must
// deliver at most one frame of finite samples per call.
#include <cstdio>
#include <cstdlib>

#include "decode_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = mpegin::fuzz::write_temp(data, size);
  if (path.empty()) return 0;
  // Every call consumes at least one 4-byte header, so a stream ends after size / 4 + 2 calls.
  // Odd sizes are decoded without the header walk (the first frame's channel count holds).
  const auto outcome = mpegin::fuzz::decode_file(path, size / 4 + 2, size % 2 == 0);
  std::remove(path.c_str());
  if (outcome.opened && (outcome.calls > size / 4 + 1 || !outcome.all_finite || !outcome.bounded ||
                         outcome.empty_calls != 0))
    std::abort();
  return 0;
}
