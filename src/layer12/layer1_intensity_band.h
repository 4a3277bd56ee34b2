#pragma once

#include "layer12/layer1_band.h"

namespace mpegin {

// A joint-stereo Layer I subband at or above the intensity bound: one allocation
// and one sample set, scaled by a scale factor per channel.
class Layer1IntensityBand : public Layer1Band {
 public:
  explicit Layer1IntensityBand(int32_t subband = 0) : Layer1Band(subband) {}

  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;
};

}  // namespace mpegin
