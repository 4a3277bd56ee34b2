#pragma once

#include "layer12/layer1_band.h"
#include "layer12/scale_factor_table.h"

namespace mpegin {

// A joint-stereo Layer I subband at or above the intensity bound: one allocation
// and one sample set, scaled by a scale factor per channel.
class Layer1IntensityBand final : public Layer1Band {
 public:
  explicit Layer1IntensityBand(int32_t subband = 0) : Layer1Band(subband) {}

  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;
};

// Defined here so that BandPool's loops over the kinds inline them.
inline void Layer1IntensityBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader&,
                                                     CodedSamples& samples) {
  if (channel0_.allocation == 0) return;
  channel0_.read_scale_factor(reader);
  const float scale_factor1 = scale_factor_table[reader.get_bits(6)];
  samples.add_layer1(index(), channel0_.allocation, CodedSamples::kBoth, channel0_.scale_factor,
                     scale_factor1);
}

}  // namespace mpegin
