// Micro-benchmarks of the subband synthesis: the 32-point transform (one slot, and several
// slots in vector lanes), the windowing of one slot, and whole synthesis steps, on each vector
// path this machine runs (argument: 0 baseline, 1 avx, 2 avx2, 3 avx512).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "synthesis/cpu_features.h"
#include "synthesis/fast_dct.h"
#include "synthesis/sample_sink.h"
#include "synthesis/synthesis_filter.h"
#include "synthesis/synthesis_window.h"

namespace mpegin {
namespace {

std::vector<float> random_inputs(size_t count) {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> inputs(count);
  for (float& v : inputs) v = value(random);
  return inputs;
}

// Random records of V, each kept in both places the windowing may read it.
void random_history(VHistory& h) {
  const std::vector<float> values = random_inputs(kHistoryRecords * 64);
  for (uint32_t n = 0; n < kHistoryRecords; ++n) {
    for (int i = 0; i < 64; ++i) h[n][i] = h[kHistoryRecords + n][i] = values[64 * n + i];
  }
}

// Skips the run when the path is wider than this machine (or build) has.
bool usable(benchmark::State& state, SimdPath& path) {
  path = static_cast<SimdPath>(state.range(0));
  if (static_cast<int>(path) > static_cast<int>(simd_path())) {
    state.SkipWithError("vector path not available here");
    return false;
  }
  state.SetLabel(simd_path_name(path));
  return true;
}

void paths(benchmark::internal::Benchmark* b) {
  for (int p = 0; p <= 3; ++p) b->Arg(p);
}

// Discards what it receives.
class NullSink : public SampleSink {
 public:
  void append_block(int, const float* values, uint32_t) override { benchmark::DoNotOptimize(values); }
  const float* take(uint32_t& length_bytes) override {
    length_bytes = 0;
    return nullptr;
  }
};

void BM_LeeDct32(benchmark::State& state) {
  const std::vector<float> x = random_inputs(32);
  float X[32];
  for (auto _ : state) {
    lee_dct32(x.data(), X);
    benchmark::DoNotOptimize(X);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LeeDct32);

void BM_FastDct32(benchmark::State& state) {
  const std::vector<float> x = random_inputs(32);
  float X[32];
  for (auto _ : state) {
    fast_dct32(x.data(), X);
    benchmark::DoNotOptimize(X);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FastDct32);

// Items are slots: `Slots` per call (8, and 16, the AVX-512 path's width), laid out subband by
// subband.
template <int Slots>
void BM_Dct32Slots(benchmark::State& state) {
  SimdPath path;
  if (!usable(state, path)) return;
  const std::vector<float> x = random_inputs(32 * Slots);
  alignas(64) float X[Slots * 32];
  for (auto _ : state) {
    dct32_slots(x.data(), Slots, Slots, X, path);
    benchmark::DoNotOptimize(X);
  }
  state.SetItemsProcessed(state.iterations() * Slots);
}
BENCHMARK_TEMPLATE(BM_Dct32Slots, 8)->Apply(paths);
BENCHMARK_TEMPLATE(BM_Dct32Slots, 16)->Apply(paths);

void BM_WindowSlot(benchmark::State& state) {
  SimdPath path;
  if (!usable(state, path)) return;
  alignas(64) VHistory h;
  random_history(h);
  float out[32];
  uint32_t newest = 0;
  for (auto _ : state) {
    window_slot(h, newest, out, path);
    newest = (newest + 1) & (kHistoryRecords - 1);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WindowSlot)->Apply(paths);

// Sixteen slots windowed in one run, as synthesize_slots does (items: slots).
void BM_WindowSixteenSlots(benchmark::State& state) {
  SimdPath path;
  if (!usable(state, path)) return;
  alignas(64) VHistory h;
  random_history(h);
  float out[16 * 32];
  uint32_t newest = 0;
  for (auto _ : state) {
    window_slots(h, newest, 16, out, path);
    newest = (newest + 16) & (kHistoryRecords - 1);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_WindowSixteenSlots)->Apply(paths);

// One slot at a time through a sink, as a caller with one slot in hand does (items: slots).
void BM_SynthesizeOneSlot(benchmark::State& state) {
  const std::vector<float> inputs = random_inputs(32 * 36);
  SynthesisFilter filter(0);
  NullSink sink;
  uint32_t t = 0;
  for (auto _ : state) {
    filter.synthesize(inputs.data() + 32 * t, sink);
    t = t + 1 == 36 ? 0 : t + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SynthesizeOneSlot);

// A Layer II frame's 36 slots of one channel in one run (items: slots).
void BM_SynthesizeFrameSlots(benchmark::State& state) {
  const std::vector<float> inputs = random_inputs(32 * 36);
  SynthesisFilter filter(0);
  std::vector<float> pcm(32 * 36);
  for (auto _ : state) {
    filter.synthesize_slots(inputs.data(), 36, 36, pcm.data());
    benchmark::DoNotOptimize(pcm.data());
  }
  state.SetItemsProcessed(state.iterations() * 36);
}
BENCHMARK(BM_SynthesizeFrameSlots);

}  // namespace
}  // namespace mpegin
