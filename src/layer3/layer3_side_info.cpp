#include "layer3/layer3_side_info.h"

#include "bitstream/bit_reader.h"

namespace mpegin {
namespace {

int32_t field(BitReader& bits, uint32_t width) {
  return static_cast<int32_t>(bits.get_bits(width));
}

// One granule and channel. False at the forbidden block type 0 with window switching:
// reading stops after subblock_gain[2] then.
bool read_granule(BitReader& bits, GranuleInfo& gi, bool mpeg1) {
  gi.part2_3_length = field(bits, 12);
  gi.big_values = field(bits, 9);
  gi.global_gain = field(bits, 8);
  gi.scalefac_compress = field(bits, mpeg1 ? 4 : 9);
  gi.window_switching_flag = field(bits, 1);
  if (gi.window_switching_flag) {
    gi.block_type = field(bits, 2);
    gi.mixed_block_flag = field(bits, 1);
    gi.table_select[0] = field(bits, 5);
    gi.table_select[1] = field(bits, 5);
    for (int32_t& gain : gi.subblock_gain) gain = field(bits, 3);
    if (gi.block_type == 0) return false;
    gi.region0_count = (gi.block_type == 2 && gi.mixed_block_flag == 0) ? 8 : 7;
    gi.region1_count = 20 - gi.region0_count;
  } else {
    for (int32_t& table : gi.table_select) table = field(bits, 5);
    gi.region0_count = field(bits, 4);
    gi.region1_count = field(bits, 3);
    gi.block_type = 0;
  }
  if (mpeg1) gi.preflag = field(bits, 1);
  gi.scalefac_scale = field(bits, 1);
  gi.count1table_select = field(bits, 1);
  return true;
}

}  // namespace

bool read_side_info(BitReader& bits, bool mpeg1, uint32_t channel_count, Layer3SideInfo& side_info) {
  const bool mono = channel_count == 1;
  side_info.main_data_begin = field(bits, mpeg1 ? 9 : 8);
  side_info.private_bits = field(bits, mpeg1 ? (mono ? 5 : 3) : (mono ? 1 : 2));
  if (mpeg1) {
    for (uint32_t ch = 0; ch < channel_count; ++ch)
      for (int32_t& bit : side_info.channel[ch].scfsi) bit = field(bits, 1);
  }
  const uint32_t granule_count = mpeg1 ? 2 : 1;
  for (uint32_t gr = 0; gr < granule_count; ++gr)
    for (uint32_t ch = 0; ch < channel_count; ++ch)
      if (!read_granule(bits, side_info.channel[ch].granule[gr], mpeg1)) return false;
  return true;
}

}  // namespace mpegin
