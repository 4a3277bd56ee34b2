#pragma once

#include "layer12/layer2_band.h"

namespace mpegin {

// A Layer II subband that carries two independent channels, each with its own
// allocation, selection, scale factors, class and samples. Channel 0 uses the
// fields of Layer2Band.
class Layer2StereoBand final : public Layer2Band {
 public:
  explicit Layer2StereoBand(int32_t subband = 0) : Layer2Band(subband) {}

  void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) override;
  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;
  void parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) override;

 private:
  Channel channel1_;
};

// Defined here so that BandPool's loops over the kinds inline them.
inline void Layer2StereoBand::parse_allocation(MpegFileReader& reader, const FrameHeader& header,
                                               Crc16* crc) {
  find_allocation(header);
  channel0_.read_allocation(reader, allocation_.bits, crc);
  channel1_.read_allocation(reader, allocation_.bits, crc);
}

inline void Layer2StereoBand::parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) {
  Layer2Band::parse_scale_factor_selection(reader, crc);
  if (channel1_.allocation != 0) channel1_.scale.read_selection(reader, crc);
}

inline void Layer2StereoBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                                                  CodedSamples& samples) {
  Layer2Band::parse_scale_factors(reader, header, samples);
  if (channel1_.allocation == 0) return;
  channel1_.scale.read(reader);
  samples.add_layer2(index(), quant_class(channel1_), CodedSamples::kSecond,
                     channel1_.scale.factors, channel1_.scale.factors);
}

}  // namespace mpegin
