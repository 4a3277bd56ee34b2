// Decoder throughput on the ISO compliance streams, in multiples of real time.
//
//   build/release/bench/bench_decode                      all streams
//   build/release/bench/bench_decode --benchmark_filter=l3 Layer III only
//
// Each iteration opens the stream and decodes it to the end through DecoderContext, the way the
// module does; the counter "x_realtime" is audio seconds decoded per wall-clock second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "decoder/decoder_context.h"
#include "support/conformance.h"

namespace {

struct Stream {
  std::string name;
  std::string path;
  double rate = 0;
  int channels = 0;
};

std::vector<Stream> read_manifest() {
  namespace conf = mpegin::conformance;
  std::vector<conf::StreamEntry> entries;
  std::vector<Stream> streams;
  if (!conf::read_manifest(conf::directory(), entries)) return streams;
  for (const conf::StreamEntry& e : entries)
    streams.push_back({e.stream.substr(0, e.stream.find('.')), conf::directory() + "/" + e.stream,
                       double(e.rate), e.channels});
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
