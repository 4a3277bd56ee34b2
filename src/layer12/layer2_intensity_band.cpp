#include "layer12/layer2_intensity_band.h"

namespace mpegin {

void Layer2IntensityBand::parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) {
  if (channel0_.allocation == 0) return;
  channel0_.scale.read_selection(reader, crc);
  scale1_.read_selection(reader, crc);
}

void Layer2IntensityBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader& header) {
  if (channel0_.allocation == 0) return;
  read_scale_factors(reader, header, channel0_);
  scale1_.read(reader);
}

bool Layer2IntensityBand::emit_sample(int32_t channel_select, SynthesisFilter& filter0,
                                      SynthesisFilter* filter1) {
  if (channel0_.allocation != 0) {
    emit_scaled(channel_select, filter0, filter1, channel0_.sample_value(triple_index_),
                channel0_.scale.factors[part_], scale1_.factors[part_]);
  }
  return ++triple_index_ == 3;
}

}  // namespace mpegin
