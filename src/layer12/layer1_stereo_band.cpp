#include "layer12/layer1_stereo_band.h"

namespace mpegin {

void Layer1StereoBand::parse_allocation(MpegFileReader& reader, const FrameHeader&, Crc16* crc) {
  channel0_.read_allocation(reader);
  channel1_.read_allocation(reader);
  feed(crc, channel0_.allocation);
  feed(crc, channel1_.allocation);
}

void Layer1StereoBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header) {
  Layer1Band::parse_scale_factors(reader, header);
  if (channel1_.allocation != 0) channel1_.read_scale_factor(reader);
}

bool Layer1StereoBand::parse_samples(MpegFileReader& reader) {
  const bool last = Layer1Band::parse_samples(reader);
  if (channel1_.allocation != 0) channel1_.read_sample(reader);
  return last;
}

bool Layer1StereoBand::emit_sample(int32_t channel_select, SynthesisFilter& filter0,
                                   SynthesisFilter* filter1) {
  Layer1Band::emit_sample(channel_select, filter0, filter1);
  if (channel1_.allocation != 0) {
    emit_second(channel_select, filter0, filter1,
                channel1_.sample_value() * channel1_.scale_factor);
  }
  return true;
}

}  // namespace mpegin
