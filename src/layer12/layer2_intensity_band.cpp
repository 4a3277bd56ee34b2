#include "layer12/layer2_intensity_band.h"

namespace mpegin {

void Layer2IntensityBand::parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) {
  if (channel0_.allocation == 0) return;
  channel0_.scale.read_selection(reader, crc);
  scale1_.read_selection(reader, crc);
}

void Layer2IntensityBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                                              CodedSamples& samples) {
  if (channel0_.allocation == 0) return;
  channel0_.scale.read(reader);
  scale1_.read(reader);
  samples.add_layer2(index(), quant_class(header, channel0_), CodedSamples::kBoth,
                     channel0_.scale.factors, scale1_.factors);
}

}  // namespace mpegin
