// Times the host's calling sequence through the exports of mpeginput.dll, as a Windows host
// audio editor reads a file: identify, open, set the options, read frame by frame until 0,
// close. Run under Wine by bench/windows/run.sh, once per build (i686, x86_64).
//   bench_host.exe [--runs N] [--bits 16|32] <mpeginput.dll> FILE...
// Prints one line per file: its name, the best and the median wall time of N runs and the
// least processor time of this thread, in seconds, and the bytes delivered.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/mpeginput.h"

namespace {

struct Exports {
  decltype(&::RadozErezEduzad) identify;
  decltype(&::OpenFilterInput) open;
  decltype(&::FilterSetOptions2) set_options;
  decltype(&::ReadFilterInput) read;
  decltype(&::CloseFilterInput) close;
};

template <class Function>
Function resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string windows_path(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Processor time of this thread (user and kernel), in seconds: less disturbed than the wall
// clock by other programs on a busy machine.
double thread_seconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
}

double seconds_now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One pass over the file; the bytes delivered, or -1 when the file does not open.
long long read_whole(const Exports& m, const std::string& path, uint32_t word, std::vector<char>& buffer) {
  FilterQueryRecord record;
  m.identify(&record);
  int32_t rate = 0, value = 0;
  int16_t bits = 0, channels = 0;
  MpegInputHandle input = m.open(path.c_str(), &rate, &bits, &channels, 0, &value);
  if (input == nullptr) return -1;
  m.set_options(input, word, &rate, &channels, &bits);
  long long total = 0;
  for (int32_t n; (n = m.read(input, buffer.data(), static_cast<int32_t>(buffer.size()))) > 0;) total += n;
  m.close(input);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3, bits = 16, i = 1;
  for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--bits") == 0) bits = std::atoi(argv[i + 1]) == 32 ? 32 : 16;
  }
  if (i + 1 >= argc) {
    std::fprintf(stderr, "usage: bench_host.exe [--runs N] [--bits 16|32] <mpeginput.dll> FILE...\n");
    return 2;
  }
  HMODULE module = LoadLibraryA(windows_path(argv[i]).c_str());
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load %s\n", argv[i]);
    return 1;
  }
  const Exports m = {resolve<decltype(Exports::identify)>(module, "RadozErezEduzad"),
                     resolve<decltype(Exports::open)>(module, "OpenFilterInput"),
                     resolve<decltype(Exports::set_options)>(module, "FilterSetOptions2"),
                     resolve<decltype(Exports::read)>(module, "ReadFilterInput"),
                     resolve<decltype(Exports::close)>(module, "CloseFilterInput")};
  if (!m.identify || !m.open || !m.set_options || !m.read || !m.close) {
    std::fprintf(stderr, "%s lacks an export\n", argv[i]);
    return 1;
  }
  const uint32_t word = (bits == 32 ? 0x200000u : 0x100000u) | 20000u;  // 0 dB
  std::vector<char> buffer(9216);
  int status = 0;
  for (++i; i < argc; ++i) {
    const std::string path = windows_path(argv[i]);
    std::vector<double> times, processor;
    long long bytes = 0;
    for (int run = 0; run < runs && bytes >= 0; ++run) {
      const double start = seconds_now(), start_processor = thread_seconds();
      bytes = read_whole(m, path, word, buffer);
      times.push_back(seconds_now() - start);
      processor.push_back(thread_seconds() - start_processor);
    }
    if (bytes < 0) {
      std::fprintf(stderr, "cannot open %s\n", argv[i]);
      status = 1;
      continue;
    }
    std::sort(times.begin(), times.end());
    std::sort(processor.begin(), processor.end());
    const char* name = std::strrchr(argv[i], '/');
    std::printf("%s %.3f %.3f %.3f %lld\n", name ? name + 1 : argv[i], times.front(), times[times.size() / 2],
                processor.front(), bytes);
  }
  FreeLibrary(module);
  return status;
}
