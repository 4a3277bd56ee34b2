#pragma once

#include "layer12/layer2_band.h"

namespace mpegin {

// A joint-stereo Layer II subband at or above the intensity bound: one allocation,
// class and sample set, with a selection and scale factors per channel.
class Layer2IntensityBand final : public Layer2Band {
 public:
  explicit Layer2IntensityBand(int32_t subband = 0) : Layer2Band(subband) {}

  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;
  void parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) override;

 private:
  ScaleFactors scale1_;
};

// Defined here so that BandPool's loops over the kinds inline them.
inline void Layer2IntensityBand::parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) {
  if (channel0_.allocation == 0) return;
  channel0_.scale.read_selection(reader, crc);
  scale1_.read_selection(reader, crc);
}

inline void Layer2IntensityBand::parse_scale_factors(MpegFileReader& reader,
                                                     const FrameHeader&,
                                                     CodedSamples& samples) {
  if (channel0_.allocation == 0) return;
  channel0_.scale.read(reader);
  scale1_.read(reader);
  samples.add_layer2(index(), quant_class(channel0_), CodedSamples::kBoth,
                     channel0_.scale.factors, scale1_.factors);
}

}  // namespace mpegin
