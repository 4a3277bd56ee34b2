#pragma once

#include "layer12/layer2_band.h"

namespace mpegin {

// A joint-stereo Layer II subband at or above the intensity bound: one allocation,
// class and sample set, with a selection and scale factors per channel.
class Layer2IntensityBand : public Layer2Band {
 public:
  explicit Layer2IntensityBand(int32_t subband = 0) : Layer2Band(subband) {}

  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;
  void parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) override;

 private:
  ScaleFactors scale1_;
};

}  // namespace mpegin
