#pragma once

#include <array>
#include <cstdint>

namespace mpegin {

// One Layer II quantisation class. Grouped classes (3, 5 and 9 levels) code three
// samples in one combined code of code_bits and decode through a grouping table
// whose values are final; the other classes code each sample in code_bits and
// requantise as ((q * 2^(1 - code_bits) - 1) + d) * c.
struct Layer2QuantClass {
  uint32_t levels;
  uint32_t code_bits;
  bool grouped;
  float c;
  float d;
  // Three values per combined code; padded with silent groups up to 2^code_bits
  // entries so that a code the stream may not carry still stays inside the table.
  const float* grouping;
};

constexpr int kLayer2ClassCount = 17;
extern const Layer2QuantClass layer2_classes[kLayer2ClassCount];

// The grouping tables: entry k (three floats) of the L-level table holds
// v(q0), v(q1), v(q2) with k = q0 + L q1 + L^2 q2 and v(q) = (2q - (L - 1)) / L.
// Entries from L^3 up to 2^code_bits - 1 are silent groups (0, 0, 0). One float of padding
// follows the last entry, so that four floats can be loaded from any entry.
extern const std::array<float, 3 * 32 + 1> layer2_grouping_3;
extern const std::array<float, 3 * 128 + 1> layer2_grouping_5;
extern const std::array<float, 3 * 1024 + 1> layer2_grouping_9;

// The frame parameters that choose the allocation table of a Layer II frame.
struct Layer2Layout {
  uint32_t version;         // 1 MPEG-1, 0 MPEG-2 LSF
  uint32_t per_channel;     // per-channel bitrate index b (may wrap for forbidden combinations)
};

// b: bitrate_index for single channel frames, otherwise 1 for index 4 and
// bitrate_index - 4 (unsigned) for the rest.
uint32_t layer2_per_channel_index(uint32_t bitrate_index, uint32_t mode);

// What the allocation field of one subband selects: its width, and the class of each value.
struct Layer2Allocation {
  uint32_t bits;
  uint32_t mask;            // values past the row's length fold back into it
  const uint8_t* classes;   // index into layer2_classes of each value (0 unused)

  // Quantisation class of allocation value a (not 0).
  const Layer2QuantClass& quant_class(uint32_t allocation) const {
    return layer2_classes[classes[allocation & mask]];
  }
};

Layer2Allocation layer2_allocation(Layer2Layout layout, uint32_t subband);

// Width in bits of the allocation field of subband sb.
uint32_t layer2_allocation_bits(Layer2Layout layout, uint32_t subband);

// Quantisation class of allocation value a (not 0) in subband sb.
const Layer2QuantClass& layer2_class(Layer2Layout layout, uint32_t subband, uint32_t allocation);

}  // namespace mpegin
