#include "layer12/layer2_tables.h"

#include "bitstream/frame_header.h"

namespace mpegin {

namespace {

template <int Levels, int Entries>
constexpr std::array<float, 3 * Entries + 1> make_grouping() {
  std::array<float, 3 * Entries + 1> table{};
  for (int code = 0; code < Levels * Levels * Levels; ++code) {
    int rest = code;
    for (int i = 0; i < 3; ++i) {
      table[3 * code + i] = static_cast<float>(2 * (rest % Levels) - (Levels - 1)) /
                            static_cast<float>(Levels);
      rest /= Levels;
    }
  }
  return table;
}

}  // namespace

const std::array<float, 3 * 32 + 1> layer2_grouping_3 = make_grouping<3, 32>();
const std::array<float, 3 * 128 + 1> layer2_grouping_5 = make_grouping<5, 128>();
const std::array<float, 3 * 1024 + 1> layer2_grouping_9 = make_grouping<9, 1024>();

// levels, code bits, grouped, C, D, grouping table
const Layer2QuantClass layer2_classes[kLayer2ClassCount] = {
    {3, 5, true, 1.33333337f, 0.5f, layer2_grouping_3.data()},
    {5, 7, true, 1.60000002f, 0.5f, layer2_grouping_5.data()},
    {7, 3, false, 1.14285719f, 0.25f, nullptr},
    {9, 10, true, 1.77777779f, 0.5f, layer2_grouping_9.data()},
    {15, 4, false, 1.06666672f, 0.125f, nullptr},
    {31, 5, false, 1.03225803f, 0.0625f, nullptr},
    {63, 6, false, 1.01587307f, 0.03125f, nullptr},
    {127, 7, false, 1.00787401f, 0.015625f, nullptr},
    {255, 8, false, 1.00392163f, 0.0078125f, nullptr},
    {511, 9, false, 1.00195694f, 0.00390625f, nullptr},
    {1023, 10, false, 1.00097752f, 0.001953125f, nullptr},
    {2047, 11, false, 1.00048852f, 0.0009765625f, nullptr},
    {4095, 12, false, 1.00024426f, 0.00048828125f, nullptr},
    {8191, 13, false, 1.00012207f, 0.000244140625f, nullptr},
    {16383, 14, false, 1.00006104f, 0.0001220703125f, nullptr},
    {32767, 15, false, 1.00003052f, 0.00006103516f, nullptr},
    {65535, 16, false, 1.00001526f, 0.00003051758f, nullptr},
};

namespace {

// Class indexes into layer2_classes.
enum : uint8_t { L3, L5, L7, L9, L15, L31, L63, L127, L255, L511, L1023, L2047, L4095,
                 L8191, L16383, L32767, L65535 };
constexpr uint8_t kNone = 0;  // allocation 0: never looked up

// The rows of the ISO/IEC 11172-3 Layer II allocation tables. Every row has as many
// entries as its allocation field can address; the lookup masks the value by the
// row length so that no value reaches past a row.
struct AllocationRow {
  uint8_t mask;
  uint8_t classes[16];
};

constexpr AllocationRow kHighLow = {15, {kNone, L3, L7, L15, L31, L63, L127, L255, L511, L1023,
                                         L2047, L4095, L8191, L16383, L32767, L65535}};
constexpr AllocationRow kHighMid = {15, {kNone, L3, L5, L7, L9, L15, L31, L63, L127, L255, L511,
                                         L1023, L2047, L4095, L8191, L65535}};
constexpr AllocationRow kHighUpper = {7, {kNone, L3, L5, L7, L9, L15, L31, L65535}};
constexpr AllocationRow kHighTop = {3, {kNone, L3, L5, L65535}};
constexpr AllocationRow kLowRate = {15, {kNone, L3, L5, L9, L15, L31, L63, L127, L255, L511,
                                         L1023, L2047, L4095, L8191, L16383, L32767}};

// MPEG-2 LSF (ISO/IEC 13818-3): one table for every bit rate.
constexpr AllocationRow kLsfLow = {15, {kNone, L3, L5, L7, L9, L15, L31, L63, L127, L255, L511,
                                        L1023, L2047, L4095, L8191, L16383}};
constexpr AllocationRow kLsfMid = {7, {kNone, L3, L5, L9, L15, L31, L63, L127}};
constexpr AllocationRow kLsfTop = {3, {kNone, L3, L5, L9}};

constexpr bool is_low_rate(uint32_t per_channel) { return per_channel == 1 || per_channel == 2; }

constexpr const AllocationRow& allocation_row(Layer2Layout layout, uint32_t subband) {
  if (layout.version == 0) {
    if (subband < 4) return kLsfLow;
    return subband < 11 ? kLsfMid : kLsfTop;
  }
  if (is_low_rate(layout.per_channel)) return kLowRate;
  if (subband < 3) return kHighLow;
  if (subband < 11) return kHighMid;
  return subband < 23 ? kHighUpper : kHighTop;
}

constexpr uint32_t allocation_bits(Layer2Layout layout, uint32_t subband) {
  if (layout.version == 0) {
    if (subband < 4) return 4;
    return subband < 11 ? 3 : 2;
  }
  if (is_low_rate(layout.per_channel)) return subband < 2 ? 4 : 3;
  if (subband < 11) return 4;
  return subband < 23 ? 3 : 2;
}

}  // namespace

uint32_t layer2_per_channel_index(uint32_t bitrate_index, uint32_t mode) {
  if (mode_channels(mode) == 1) return bitrate_index;
  return bitrate_index == 4 ? 1u : bitrate_index - 4u;
}

uint32_t layer2_allocation_bits(Layer2Layout layout, uint32_t subband) {
  return allocation_bits(layout, subband);
}

namespace {

// The rows of the three kinds of layout (LSF, MPEG-1 low rate, MPEG-1 high rate) by subband.
constexpr Layer2Layout kKindLayouts[3] = {{0, 3}, {1, 1}, {1, 3}};

constexpr std::array<Layer2Allocation, 3 * 32> make_allocations() {
  std::array<Layer2Allocation, 3 * 32> rows{};
  for (uint32_t kind = 0; kind < 3; ++kind) {
    for (uint32_t sb = 0; sb < 32; ++sb) {
      const AllocationRow& row = allocation_row(kKindLayouts[kind], sb);
      rows[32 * kind + sb] = {allocation_bits(kKindLayouts[kind], sb), row.mask, row.classes};
    }
  }
  return rows;
}

constexpr std::array<Layer2Allocation, 3 * 32> kAllocations = make_allocations();

}  // namespace

Layer2Allocation layer2_allocation(Layer2Layout layout, uint32_t subband) {
  const uint32_t kind = layout.version == 0 ? 0 : (is_low_rate(layout.per_channel) ? 1 : 2);
  return kAllocations[32 * kind + (subband & 31)];
}

const Layer2QuantClass& layer2_class(Layer2Layout layout, uint32_t subband, uint32_t allocation) {
  return layer2_allocation(layout, subband).quant_class(allocation);
}

}  // namespace mpegin
