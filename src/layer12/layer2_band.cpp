#include "layer12/layer2_band.h"

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer12/scale_factor_table.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {

namespace {
constexpr int32_t kGroupsPerFrame = 12;
}  // namespace

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

void Layer2Band::Channel::set_class(const Layer2QuantClass& quant_class) {
  code_bits = quant_class.code_bits;
  grouping = quant_class.grouping;
  factor = 2.0f / static_cast<float>(1u << code_bits);
  c = quant_class.grouped ? 1.0f : quant_class.c;
  d = quant_class.grouped ? 0.0f : quant_class.d;
}

void Layer2Band::Channel::read_group(MpegFileReader& reader) {
  if (grouping != nullptr) {
    // The table has 2^code_bits entries: codes the stream may not carry are silent.
    const float* entry = grouping + 3 * reader.get_bits(code_bits);
    samples[0] = entry[0];
    samples[1] = entry[1];
    samples[2] = entry[2];
    return;
  }
  for (float& sample : samples) {
    sample = static_cast<float>(reader.get_bits(code_bits)) * factor - 1.0f;
  }
}

Layer2Layout Layer2Band::layout(const FrameHeader& header) {
  return {header.version, layer2_per_channel_index(header.bitrate_index, header.mode)};
}

void Layer2Band::read_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                                    Channel& channel) {
  channel.scale.read(reader);
  channel.set_class(layer2_class(layout(header), static_cast<uint32_t>(subband_),
                                 channel.allocation));
}

void Layer2Band::parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) {
  const uint32_t bits = layer2_allocation_bits(layout(header), static_cast<uint32_t>(subband_));
  channel0_.read_allocation(reader, bits, crc);
}

void Layer2Band::parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) {
  if (channel0_.allocation != 0) channel0_.scale.read_selection(reader, crc);
}

void Layer2Band::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header) {
  if (channel0_.allocation != 0) read_scale_factors(reader, header, channel0_);
}

bool Layer2Band::parse_samples(MpegFileReader& reader) {
  if (channel0_.allocation != 0) channel0_.read_group(reader);
  triple_index_ = 0;
  ++sample_counter_;
  part_ = sample_counter_ <= 4 ? 0 : (sample_counter_ <= 8 ? 1 : 2);
  return sample_counter_ == kGroupsPerFrame;
}

}  // namespace mpegin
