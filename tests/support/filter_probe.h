#pragma once

// Observes what a band object stored into a synthesis filter. The filter keeps its
// inputs to itself, so a probe compares the filter's response with that of a fresh
// filter fed the expected subband values: one slot with the inputs and 16 silent
// slots after it, which together show every input through the whole window.

#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "synthesis/sample_sink.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin::test_support {

// Collects the samples of each channel separately.
class RecordingSink : public SampleSink {
 public:
  void append_block(int channel, const float* values, uint32_t count) override {
    channels[channel & 1].insert(channels[channel & 1].end(), values, values + count);
  }
  const float* take(uint32_t& length_bytes) override {
    length_bytes = 0;
    return nullptr;
  }

  std::vector<float> channels[2];
};

// The response of a filter fresh from construction whose first slot received what
// the caller stored: synthesises that slot and 16 silent ones.
inline std::vector<float> response(SynthesisFilter& filter) {
  RecordingSink sink;
  for (int slot = 0; slot < 17; ++slot) filter.synthesize(sink);
  return sink.channels[filter.channel() & 1];
}

// The response of a fresh filter whose first slot holds `inputs` (subband -> value).
inline std::vector<float> expected_response(const std::map<int, float>& inputs, int channel = 0) {
  SynthesisFilter filter(channel);
  for (const auto& [subband, value] : inputs) filter.put_sample(subband, value);
  return response(filter);
}

// The value a single subband received, read back from a response: the float whose
// expected response equals it exactly, searched around the least-squares estimate.
// None when no single value of that subband explains the response.
inline std::optional<float> stored_value(const std::vector<float>& observed, int subband,
                                         int channel = 0) {
  const std::vector<float> unit = expected_response({{subband, 1.0f}}, channel);
  double dot = 0.0;
  double norm = 0.0;
  for (size_t i = 0; i < unit.size() && i < observed.size(); ++i) {
    dot += static_cast<double>(observed[i]) * unit[i];
    norm += static_cast<double>(unit[i]) * unit[i];
  }
  float down = static_cast<float>(dot / norm);
  float up = down;
  for (int step = 0; step < 64; ++step) {
    if (expected_response({{subband, down}}, channel) == observed) return down;
    if (expected_response({{subband, up}}, channel) == observed) return up;
    down = std::nextafter(down, -INFINITY);
    up = std::nextafter(up, INFINITY);
  }
  return std::nullopt;
}

}  // namespace mpegin::test_support
