#include "layer3/layer3_side_info.h"

#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer3/layer3_decoder.h"

namespace mpegin {
namespace {

int32_t field(MpegFileReader& reader, uint32_t width) {
  return static_cast<int32_t>(reader.get_bits(width));
}

// One granule and channel. False at the forbidden block type 0 with window switching:
// reading stops after subblock_gain[2] then.
bool read_granule(MpegFileReader& reader, GranuleInfo& gi, bool mpeg1) {
  gi.part2_3_length = field(reader, 12);
  gi.big_values = field(reader, 9);
  gi.global_gain = field(reader, 8);
  gi.scalefac_compress = field(reader, mpeg1 ? 4 : 9);
  gi.window_switching_flag = field(reader, 1);
  if (gi.window_switching_flag) {
    gi.block_type = field(reader, 2);
    gi.mixed_block_flag = field(reader, 1);
    gi.table_select[0] = field(reader, 5);
    gi.table_select[1] = field(reader, 5);
    for (int32_t& gain : gi.subblock_gain) gain = field(reader, 3);
    if (gi.block_type == 0) return false;
    gi.region0_count = (gi.block_type == 2 && gi.mixed_block_flag == 0) ? 8 : 7;
    gi.region1_count = 20 - gi.region0_count;
  } else {
    for (int32_t& table : gi.table_select) table = field(reader, 5);
    gi.region0_count = field(reader, 4);
    gi.region1_count = field(reader, 3);
    gi.block_type = 0;
  }
  if (mpeg1) gi.preflag = field(reader, 1);
  gi.scalefac_scale = field(reader, 1);
  gi.count1table_select = field(reader, 1);
  return true;
}

}  // namespace

bool Layer3Decoder::read_side_info() {
  const bool mpeg1 = header.version == 1;
  const bool mono = channel_count == 1;
  side_info.main_data_begin = field(reader, mpeg1 ? 9 : 8);
  side_info.private_bits = field(reader, mpeg1 ? (mono ? 5 : 3) : (mono ? 1 : 2));
  if (mpeg1) {
    for (uint32_t ch = 0; ch < channel_count; ++ch)
      for (int32_t& bit : side_info.channel[ch].scfsi) bit = field(reader, 1);
  }
  for (uint32_t gr = 0; gr < granule_count; ++gr)
    for (uint32_t ch = 0; ch < channel_count; ++ch)
      if (!read_granule(reader, granule_info(ch, gr), mpeg1)) return false;
  return true;
}

}  // namespace mpegin
