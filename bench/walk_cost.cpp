// bench_walk: what the walk over the frame headers at open costs next to decoding the file.
// For each file: the best of N walks and of N whole decodes (without the walk), and the ratio.
//
//   build/release/bench/bench_walk [--runs N] FILE...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decoder/decoder_context.h"
#include "decoder/stream_walk.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
    runs = std::atoi(argv[2]);
    first = 3;
  }
  if (first >= argc || runs < 1) {
    std::fprintf(stderr, "usage: bench_walk [--runs N] FILE...\n");
    return 2;
  }
  std::printf("| file | frames | walk ms | decode ms | walk / decode |\n|---|---:|---:|---:|---:|\n");
  for (int i = first; i < argc; ++i) {
    double walk_best = 1e9;
    double decode_best = 1e9;
    mpegin::StreamWalk walk;
    for (int run = 0; run < runs; ++run) {
      auto start = std::chrono::steady_clock::now();
      if (!mpegin::walk_stream(argv[i], walk)) break;
      const double walked = seconds_since(start);
      if (walked < walk_best) walk_best = walked;

      mpegin::DecoderContext context;
      start = std::chrono::steady_clock::now();
      if (context.open(argv[i], false) != 1) break;
      const float* samples = nullptr;
      while (context.decode_next_samples(samples) != 0 || !context.end_of_stream()) {
      }
      const double decoded = seconds_since(start);
      if (decoded < decode_best) decode_best = decoded;
    }
    std::printf("| %s | %llu | %.2f | %.1f | %.2f%% |\n", argv[i],
                static_cast<unsigned long long>(walk.frames), walk_best * 1e3, decode_best * 1e3,
                100.0 * walk_best / decode_best);
  }
  return 0;
}
