#pragma once

#include "layer12/layer1_band.h"

namespace mpegin {

// A Layer I subband that carries two independent channels: two allocations, a
// scale factor and a sample set per coded channel. Channel 0 uses the fields of
// Layer1Band.
class Layer1StereoBand final : public Layer1Band {
 public:
  explicit Layer1StereoBand(int32_t subband = 0) : Layer1Band(subband) {}

  void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) override;
  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;

 private:
  Channel channel1_;
};

// Defined here so that BandPool's loops over the kinds inline them.
inline void Layer1StereoBand::parse_allocation(MpegFileReader& reader, const FrameHeader&,
                                               Crc16* crc) {
  channel0_.read_allocation(reader);
  channel1_.read_allocation(reader);
  feed(crc, channel0_.allocation);
  feed(crc, channel1_.allocation);
}

inline void Layer1StereoBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                                                  CodedSamples& samples) {
  Layer1Band::parse_scale_factors(reader, header, samples);
  if (channel1_.allocation == 0) return;
  channel1_.read_scale_factor(reader);
  samples.add_layer1(index(), channel1_.allocation, CodedSamples::kSecond, 0.0f,
                     channel1_.scale_factor);
}

}  // namespace mpegin
