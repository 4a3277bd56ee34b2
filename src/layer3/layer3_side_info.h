#pragma once

#include <cstdint>

namespace mpegin {

class BitReader;

// Side information of one granule and channel. Every field holds the value read,
// unsigned and right-aligned. Widths: see read_side_info.
struct GranuleInfo {
  int32_t part2_3_length;
  int32_t big_values;
  int32_t global_gain;
  int32_t scalefac_compress;
  int32_t window_switching_flag;
  int32_t block_type;
  int32_t mixed_block_flag;
  int32_t table_select[3];
  int32_t subblock_gain[3];
  int32_t region0_count;
  int32_t region1_count;
  int32_t preflag;
  int32_t scalefac_scale;
  int32_t count1table_select;

  bool is_short_block() const { return window_switching_flag == 1 && block_type == 2; }
};

// Per channel: the scale factor selection (MPEG-1 only) and both granules.
struct Layer3ChannelInfo {
  int32_t scfsi[4];
  GranuleInfo granule[2];
};

// Side information of one frame. Fields a frame does not read keep earlier values.
struct Layer3SideInfo {
  int32_t main_data_begin;
  int32_t private_bits;
  Layer3ChannelInfo channel[2];
};

// Reads the side information of a frame with `channel_count` channels (1 or 2) and two granules
// (mpeg1) or one. False when a granule has window switching with the forbidden block type 0;
// reading stops there.
bool read_side_info(BitReader& bits, bool mpeg1, uint32_t channel_count, Layer3SideInfo& side_info);

}  // namespace mpegin
