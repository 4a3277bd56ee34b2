#pragma once

#include "layer12/layer1_band.h"

namespace mpegin {

// A Layer I subband that carries two independent channels: two allocations, a
// scale factor and a sample set per coded channel. Channel 0 uses the fields of
// Layer1Band.
class Layer1StereoBand : public Layer1Band {
 public:
  explicit Layer1StereoBand(int32_t subband = 0) : Layer1Band(subband) {}

  void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) override;
  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;

 private:
  Channel channel1_;
};

}  // namespace mpegin
