// Decoder throughput on the ISO compliance streams, in multiples of real time.
//
//   build/release/bench/bench_decode                      all streams
//   build/release/bench/bench_decode --benchmark_filter=l3 Layer III only
//
// Each iteration opens the stream and decodes it to the end through DecoderContext, the way the
// module does; the counter "x_realtime" is audio seconds decoded per wall-clock second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/decoder_context.h"

namespace {

struct Stream {
  std::string name;
  std::string path;
  double rate = 0;
  int channels = 0;
};

std::string conformance_dir() {
  const char* env = std::getenv("MPEG_CONFORMANCE_DIR");
  return env && *env ? env : MPEGIN_CONFORMANCE_DEFAULT;
}

std::vector<Stream> read_manifest() {
  std::vector<Stream> streams;
  std::ifstream manifest(conformance_dir() + "/manifest.tsv");
  std::string line;
  while (std::getline(manifest, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string bit, ref, layer, version, channels, rate;
    fields >> bit >> ref >> layer >> version >> channels >> rate;
    Stream s;
    s.name = bit.substr(0, bit.find('.'));
    s.path = conformance_dir() + "/" + bit;
    s.rate = std::atof(rate.c_str());
    s.channels = std::atoi(channels.c_str());
    streams.push_back(s);
  }
  return streams;
}

void decode_stream(benchmark::State& state, const Stream& stream) {
  alignas(16) static float frame[4608];
  double samples = 0;
  for (auto _ : state) {
    mpegin::DecoderContext context;
    if (!context.open(stream.path.c_str())) {
      state.SkipWithError("cannot open stream");
      return;
    }
    uint64_t total = 0;
    while (!context.end_of_stream()) total += context.decode_next(frame);
    context.close();
    samples += double(total) / 4.0 / stream.channels;
    benchmark::DoNotOptimize(frame[0]);
  }
  state.counters["x_realtime"] =
      benchmark::Counter(samples / stream.rate, benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
  for (const Stream& s : read_manifest())
    benchmark::RegisterBenchmark(s.name.c_str(), decode_stream, s)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
