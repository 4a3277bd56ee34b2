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
  const float first = scale_factor_table[reader.get_bits(6)];
  switch (selection) {
    case 0:
      factors[0] = first;
      factors[1] = scale_factor_table[reader.get_bits(6)];
      factors[2] = scale_factor_table[reader.get_bits(6)];
      break;
    case 1:
      factors[0] = factors[1] = first;
      factors[2] = scale_factor_table[reader.get_bits(6)];
      break;
    case 2:
      factors[0] = factors[1] = factors[2] = first;
      break;
    default:
      factors[0] = first;
      factors[1] = factors[2] = scale_factor_table[reader.get_bits(6)];
      break;
  }
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
