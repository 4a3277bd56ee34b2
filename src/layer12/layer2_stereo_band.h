#pragma once

#include "layer12/layer2_band.h"

namespace mpegin {

// A Layer II subband that carries two independent channels, each with its own
// allocation, selection, scale factors, class and samples. Channel 0 uses the
// fields of Layer2Band.
class Layer2StereoBand : public Layer2Band {
 public:
  explicit Layer2StereoBand(int32_t subband = 0) : Layer2Band(subband) {}

  void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) override;
  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;
  void parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) override;

 private:
  Channel channel1_;
};

}  // namespace mpegin
