// The synthesis of several slots at once: the transform of many slots in vector lanes, and
// whole runs of slots, against the one-slot forms on every vector path this machine has.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "support/filter_probe.h"
#include "synthesis/cpu_features.h"
#include "synthesis/fast_dct.h"
#include "synthesis/synthesis_filter.h"
#include "synthesis/synthesis_window.h"

namespace mpegin {
namespace {

// Inputs whose rounding differs with any change of the order of operations: ordinary values,
// values of very different sizes, and sparse signed zeros.
float test_input(std::mt19937& random, int kind) {
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-30, 30);
  switch (kind % 3) {
    case 0: return value(random);
    case 1: return std::ldexp(value(random), exponent(random));
    default: return random() % 8 == 0 ? value(random) : (random() % 2 ? -0.0f : 0.0f);
  }
}

std::vector<SimdPath> usable_paths() {
  std::vector<SimdPath> paths;
  for (int p = 0; p <= static_cast<int>(simd_path()); ++p) paths.push_back(static_cast<SimdPath>(p));
  return paths;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(DctSimd, SlotsInLanesEqualTheWrittenOutFormBitForBit) {
  std::mt19937 random(11);
  for (SimdPath path : usable_paths()) {
    for (uint32_t count = 1; count <= 19; ++count) {
      for (uint32_t stride : {count, count + 3}) {
        std::vector<float> x(32 * stride);
        for (int round = 0; round < 12; ++round) {
          for (float& v : x) v = test_input(random, round);
          std::vector<float> X(32 * count, 7.0f);
          dct32_slots(x.data(), stride, count, X.data(), path);
          for (uint32_t t = 0; t < count; ++t) {
            float in[32], expected[32];
            for (uint32_t k = 0; k < 32; ++k) in[k] = x[k * stride + t];
            lee_dct32(in, expected);
            for (int m = 0; m < 32; ++m) {
              ASSERT_TRUE(same_bits(X[32 * t + m], expected[m]))
                  << simd_path_name(path) << " count " << count << " stride " << stride
                  << " slot " << t << " output " << m;
            }
          }
        }
      }
    }
  }
}

// The windowing on every path, one slot or runs of them, gives bit for bit the sums in the
// documented order: even and odd taps each summed in tap order in single precision, the two
// partial sums added last.
TEST(WindowSimd, EveryPathSumsInTheDocumentedOrder) {
  std::mt19937 random(13);
  alignas(64) VHistory h;
  for (int round = 0; round < 30; ++round) {
    for (uint32_t n = 0; n < kHistoryRecords; ++n) {
      for (float& value : h[kHistoryRecords + n]) value = test_input(random, round);
      std::memcpy(h[n], h[kHistoryRecords + n], sizeof h[n]);
    }
    std::vector<float> expected(32 * kHistoryRecords);
    for (uint32_t newest = 0; newest < kHistoryRecords; ++newest) {
      for (int j = 0; j < 32; ++j) {
        float even = 0.0f, odd = 0.0f;
        for (uint32_t t = 0; t < 16; t += 2) {
          even += h[32 + ((newest - t) & 31)][j] * synthesis_window[16 * j + t];
          odd += h[32 + ((newest - t - 1) & 31)][32 + j] * synthesis_window[16 * j + t + 1];
        }
        expected[32 * newest + j] = even + odd;
      }
    }
    for (SimdPath path : usable_paths()) {
      for (uint32_t newest = 0; newest < kHistoryRecords; ++newest) {
        const uint32_t count = 1 + (newest + round) % 16;
        std::vector<float> out(32 * count);
        if (count == 1) {
          window_slot(h, newest, out.data(), path);
        } else {
          window_slots(h, newest, count, out.data(), path);
        }
        for (uint32_t i = 0; i < 32 * count; ++i) {
          ASSERT_TRUE(same_bits(out[i], expected[(32 * newest + i) % expected.size()]))
              << simd_path_name(path) << " round " << round << " newest " << newest << " count "
              << count << " sample " << i;
        }
      }
    }
  }
}

// The whole filter on the path the environment selects, against the same formulas written out
// one value at a time: the written-out transform, V from it, and the windowing in the documented
// order (even taps read the front halves of V, odd taps the back halves, of the slots 0..15 back).
TEST(SynthesisSimd, FilterEqualsTheWrittenOutFormulasBitForBit) {
  std::mt19937 random(14);
  SynthesisFilter filter(0);
  test_support::RecordingSink sink;
  std::vector<std::vector<float>> history;  // V[0..63] of every slot so far
  std::vector<float> expected;
  for (int slot = 0; slot < 80; ++slot) {
    float x[32], X[32];
    for (float& v : x) v = test_input(random, slot / 8);
    lee_dct32(x, X);
    std::vector<float> V(64);
    for (int r = 0; r < 16; ++r) {
      V[r] = X[16 + r];
      V[32 + r] = -X[16 - r];
    }
    V[16] = 0.0f;
    V[48] = -X[0];
    for (int r = 1; r < 16; ++r) {
      V[16 + r] = -X[32 - r];
      V[48 + r] = -X[r];
    }
    history.push_back(V);
    for (int j = 0; j < 32; ++j) {
      float even = 0.0f, odd = 0.0f;
      for (int t = 0; t < 16; t += 2) {
        const int newer = slot - t, older = slot - t - 1;
        even += (newer >= 0 ? history[newer][j] : 0.0f) * synthesis_window[16 * j + t];
        odd += (older >= 0 ? history[older][32 + j] : 0.0f) * synthesis_window[16 * j + t + 1];
      }
      expected.push_back(even + odd);
    }
    filter.synthesize(x, sink);
  }
  ASSERT_EQ(sink.channels[0].size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(same_bits(sink.channels[0][i], expected[i]))
        << simd_path_name(simd_path()) << " sample " << i;
  }
}

// Runs of slots of changing lengths, the inputs laid out subband by subband, give what the
// same slots give one at a time through a sink, bit for bit, history included.
TEST(SynthesisSimd, RunsOfSlotsEqualSlotsOneAtATime) {
  std::mt19937 random(12);
  SynthesisFilter runs(0), single(0);
  test_support::RecordingSink sink;
  std::vector<float> produced;
  const uint32_t lengths[] = {36, 1, 12, 18, 7, 8, 3, 36, 4, 9, 36, 2, 16};
  int kind = 0;
  for (uint32_t count : lengths) {
    const uint32_t stride = count + 5;
    std::vector<float> inputs(32 * stride);
    for (float& v : inputs) v = test_input(random, kind);
    ++kind;
    std::vector<float> pcm(32 * count);
    runs.synthesize_slots(inputs.data(), stride, count, pcm.data());
    produced.insert(produced.end(), pcm.begin(), pcm.end());
    for (uint32_t t = 0; t < count; ++t) {
      float slot[32];
      for (uint32_t k = 0; k < 32; ++k) slot[k] = inputs[k * stride + t];
      single.synthesize(slot, sink);
    }
  }
  ASSERT_EQ(produced.size(), sink.channels[0].size());
  for (size_t i = 0; i < produced.size(); ++i) {
    ASSERT_TRUE(same_bits(produced[i], sink.channels[0][i])) << "sample " << i;
  }
}

}  // namespace
}  // namespace mpegin
