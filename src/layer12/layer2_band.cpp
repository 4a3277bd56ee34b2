#include "layer12/layer2_band.h"

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer12/scale_factor_table.h"

namespace mpegin {

void Layer2Band::ScaleFactors::read_selection(MpegFileReader& reader, Crc16* crc) {
  selection = reader.get_bits(2);
  if (crc != nullptr) crc->feed(selection, 2);
}

void Layer2Band::ScaleFactors::read(MpegFileReader& reader) {
  // Selection 0: three factors; 1: parts 0 and 1 share the first; 2: one for all parts;
  // 3: parts 1 and 2 share the second. The factors after the first are read in one field and
  // spread without a branch on the selection, which varies from band to band.
  constexpr uint32_t kMoreFactors = 0x1012;  // four bits per selection: 2, 1, 0, 1
  const uint32_t first = reader.get_bits(6);
  const uint32_t more = kMoreFactors >> (4 * (selection & 3)) & 3;
  const uint32_t rest = reader.get_bits(6 * more);
  const uint32_t last = rest & 63;
  const uint32_t second = selection == 0 ? rest >> 6 : (selection == 3 ? last : first);
  const uint32_t third = selection == 2 ? first : last;
  factors[0] = scale_factor_table[first];
  factors[1] = scale_factor_table[second];
  factors[2] = scale_factor_table[third];
}

void Layer2Band::Channel::read_allocation(MpegFileReader& reader, uint32_t bits, Crc16* crc) {
  allocation = reader.get_bits(bits);
  if (crc != nullptr) crc->feed(allocation, bits);
}

Layer2Layout Layer2Band::layout(const FrameHeader& header) {
  // A free-format frame carries no bit rate index: its measured rate picks the tables.
  if (header.bitrate_index == 0 && header.free_format_bytes != 0)
    return {header.version, header.free_format_channel_index()};
  return {header.version, layer2_per_channel_index(header.bitrate_index, header.mode)};
}

const Layer2QuantClass& Layer2Band::quant_class(const FrameHeader& header,
                                                const Channel& channel) const {
  return layer2_class(layout(header), index(), channel.allocation);
}

void Layer2Band::parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) {
  channel0_.read_allocation(reader, layer2_allocation_bits(layout(header), index()), crc);
}

void Layer2Band::parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) {
  if (channel0_.allocation != 0) channel0_.scale.read_selection(reader, crc);
}

void Layer2Band::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                                     CodedSamples& samples) {
  if (channel0_.allocation == 0) return;
  channel0_.scale.read(reader);
  samples.add_layer2(index(), quant_class(header, channel0_), CodedSamples::kFirst,
                     channel0_.scale.factors, channel0_.scale.factors);
}

}  // namespace mpegin
