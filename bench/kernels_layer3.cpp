// Micro-benchmarks of the Layer III kernels: Huffman decoding of a granule, requantisation and
// the IMDCT (one subband, four subbands at once, and the whole hybrid filter bank of a granule).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "layer3/huffman_decoder.h"
#include "layer3/hybrid_synthesis.h"
#include "layer3/imdct.h"
#include "layer3/layer3_test_support.h"
#include "layer3/requantize.h"
#include "synthesis/cpu_features.h"

namespace mpegin {
namespace {

using test::StageHarness;

// The vector path given by argument `index` of the benchmark, narrowed to what the machine runs.
SimdPath bench_path(benchmark::State& state, int index) {
  const auto wanted = static_cast<SimdPath>(state.range(index));
  const SimdPath path = wanted < simd_path() ? wanted : simd_path();
  state.SetLabel(simd_path_name(path));
  return path;
}

// A long-block granule of one channel whose big values use `table` in all three regions,
// over random bits (random bits give every code of the table, short ones most often).
struct GranuleSetup {
  explicit GranuleSetup(int32_t table) : h(0, 3, 0) {  // band table 0 (22050 Hz)
    std::mt19937 rng(42);
    uint8_t bytes[BitReservoir::kCapacity];
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    h.reservoir.put_bytes(bytes, sizeof bytes);
    gi.window_switching_flag = 0;
    gi.block_type = 0;
    gi.region0_count = 7;
    gi.region1_count = 7;
    gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = table;
    gi.big_values = 200;
    gi.count1table_select = 0;
    gi.part2_3_length = 4000;
    gi.global_gain = 180;
  }
  StageHarness h;
  Layer3Scratch& d = h.s;
  GranuleInfo& gi = d.granule(0, 0);
};

void BM_HuffmanGranule(benchmark::State& state) {
  GranuleSetup s(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    BitReader bits = s.h.reservoir.reader(s.gi.part2_3_length);
    benchmark::DoNotOptimize(decode_huffman(bits, s.gi, s.h.bands(), s.d.quantized));
    benchmark::DoNotOptimize(s.d.quantized);
  }
  state.SetItemsProcessed(state.iterations() * 576);
}
// Tables 1 (small values), 13 (large, no linbits), 24 (escapes with four linbits).
BENCHMARK(BM_HuffmanGranule)->Arg(1)->Arg(13)->Arg(24);

void BM_Requantize(benchmark::State& state) {
  GranuleSetup s(24);
  // Values as a spectrum has them: mostly small, some large, falling with frequency; on vector
  // path 0..3.
  std::mt19937 rng(7);
  std::geometric_distribution<int32_t> size(0.4);
  for (int i = 0; i < 576; ++i) {
    const int32_t v = i < 400 ? size(rng) : (rng() % 3 == 0);
    s.d.quantized[i] = (rng() & 1) ? -v : v;
  }
  s.d.nonzero_count[0] = static_cast<int32_t>(state.range(0));
  const SimdPath path = bench_path(state, 1);
  for (auto _ : state) {
    requantize(s.d.quantized, s.d.nonzero_count[0], s.gi, s.d.scale_factors[0], s.h.bands(),
               s.d.requantized[0], path);
    benchmark::DoNotOptimize(s.d.requantized);
  }
  state.SetItemsProcessed(state.iterations() * 576);
}
BENCHMARK(BM_Requantize)->ArgsProduct({{576, 288}, {0, 1, 2, 3}});

void random_lines(float* lines, int n) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int i = 0; i < n; ++i) lines[i] = unit(rng);
}

void BM_ImdctSubband(benchmark::State& state) {
  const int32_t type = static_cast<int32_t>(state.range(0));
  float source[18];
  random_lines(source, 18);
  float lines[18];
  float result[36];
  for (auto _ : state) {
    for (int k = 0; k < 18; ++k) lines[k] = source[k];
    imdct(lines, result, type);
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ImdctSubband)->Arg(0)->Arg(2);

void BM_ImdctFourSubbands(benchmark::State& state) {
  const int32_t type = static_cast<int32_t>(state.range(0));
  float lines[72];
  random_lines(lines, 72);
  float result[4][36];
  for (auto _ : state) {
    imdct_4(lines, result, type);
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_ImdctFourSubbands)->Arg(0)->Arg(2);

// The hybrid filter bank of a granule with sound in all 32 subbands: IMDCT and overlap-add, on
// vector path 0..3 (baseline, AVX, AVX2, AVX-512; narrowed to what the machine runs).
void BM_HybridSynthesisGranule(benchmark::State& state) {
  GranuleSetup s(1);
  float source[576];
  random_lines(source, 576);
  const SimdPath path = bench_path(state, 0);
  for (auto _ : state) {
    for (int i = 0; i < 576; ++i) s.d.hybrid[i] = source[i];
    hybrid_synthesis(s.gi, s.d.hybrid, s.h.overlap[0], path);
    benchmark::DoNotOptimize(s.d.hybrid);
  }
  state.SetItemsProcessed(state.iterations() * 32);
}
BENCHMARK(BM_HybridSynthesisGranule)->DenseRange(0, 3);

}  // namespace
}  // namespace mpegin
