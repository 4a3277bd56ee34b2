// A digest of the 32-bit output of every compliance stream (or of every MPEG file in the
// directory given), read through the exports at 0 dB.
// tests/windows/run.sh compares the lines of the 32-bit and 64-bit module (and of each vector
// path): every build must deliver the same floats, bit for bit.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "test_host.h"

namespace wintest {
namespace {

constexpr uint32_t kWidth32ZeroDb = 0x200000 | 20000;

// FNV-1a over the delivered bytes, and how many floats they held.
void digest_stream(const std::string& name) {
  ModuleExports& m = module();
  const std::string path = environment().conformance_dir + name;
  store_option_text(std::to_string(kWidth32ZeroDb).c_str());
  int32_t rate = 0, value = 0;
  int16_t bits = 0, channels = 0;
  MpegInputHandle input = m.OpenFilterInput(path.c_str(), &rate, &bits, &channels, 0, &value);
  store_option_text(nullptr);
  if (!WT_CHECK(input != nullptr)) return;
  WT_CHECK_EQ(m.FilterSetOptions2(input, kWidth32ZeroDb, &rate, &channels, &bits), 0u);
  std::vector<unsigned char> buffer(9216);
  uint64_t hash = 1469598103934665603ull;
  size_t floats = 0;
  for (int32_t n; (n = m.ReadFilterInput(input, buffer.data(), static_cast<int32_t>(buffer.size()))) > 0;) {
    floats += static_cast<size_t>(n) / 4;
    for (int32_t i = 0; i < n; ++i) hash = (hash ^ buffer[i]) * 1099511628211ull;
  }
  m.CloseFilterInput(input);
  std::printf("digest %s %zu %016llx\n", name.c_str(), floats, static_cast<unsigned long long>(hash));
}

}  // namespace

void run_digest_cases() {
  const HostEnvironment& env = environment();
  if (env.conformance_dir.empty()) {
    skip_case("32-bit output digests", "no compliance streams", env.conformance_required);
    return;
  }
  // The compliance streams; other MPEG files too when the directory given holds some.
  std::vector<std::string> names;
  for (const char* pattern : {"*.bit", "*.mp1", "*.mp2", "*.mp3"}) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((env.conformance_dir + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
  run_case("32-bit output digests of " + std::to_string(names.size()) + " streams", [&names] {
    WT_CHECK(!names.empty());
    for (const std::string& name : names) digest_stream(name);
  });
}

}  // namespace wintest
