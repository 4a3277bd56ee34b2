#include "layer12/layer1_stereo_band.h"

namespace mpegin {

void Layer1StereoBand::parse_allocation(MpegFileReader& reader, const FrameHeader&, Crc16* crc) {
  channel0_.read_allocation(reader);
  channel1_.read_allocation(reader);
  feed(crc, channel0_.allocation);
  feed(crc, channel1_.allocation);
}

void Layer1StereoBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                                           CodedSamples& samples) {
  Layer1Band::parse_scale_factors(reader, header, samples);
  if (channel1_.allocation == 0) return;
  channel1_.read_scale_factor(reader);
  samples.add_layer1(index(), channel1_.allocation, CodedSamples::kSecond, 0.0f,
                     channel1_.scale_factor);
}

}  // namespace mpegin
