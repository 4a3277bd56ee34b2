#include "layer12/layer2_stereo_band.h"

namespace mpegin {

void Layer2StereoBand::parse_allocation(MpegFileReader& reader, const FrameHeader& header,
                                        Crc16* crc) {
  const uint32_t bits = layer2_allocation_bits(layout(header), static_cast<uint32_t>(subband_));
  channel0_.read_allocation(reader, bits, crc);
  channel1_.read_allocation(reader, bits, crc);
}

void Layer2StereoBand::parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) {
  Layer2Band::parse_scale_factor_selection(reader, crc);
  if (channel1_.allocation != 0) channel1_.scale.read_selection(reader, crc);
}

void Layer2StereoBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header) {
  Layer2Band::parse_scale_factors(reader, header);
  if (channel1_.allocation != 0) read_scale_factors(reader, header, channel1_);
}

bool Layer2StereoBand::parse_samples(MpegFileReader& reader) {
  const bool last = Layer2Band::parse_samples(reader);
  if (channel1_.allocation != 0) channel1_.read_group(reader);
  return last;
}

bool Layer2StereoBand::emit_sample(int32_t channel_select, SynthesisFilter& filter0,
                                   SynthesisFilter* filter1) {
  const int32_t index = triple_index_;
  const bool last = Layer2Band::emit_sample(channel_select, filter0, filter1);
  if (channel1_.allocation != 0) {
    emit_second(channel_select, filter0, filter1,
                channel1_.sample_value(index) * channel1_.scale.factors[part_]);
  }
  return last;
}

}  // namespace mpegin
