#include "layer12/layer1_intensity_band.h"

#include "bitstream/mpeg_file_reader.h"
#include "layer12/scale_factor_table.h"

namespace mpegin {

void Layer1IntensityBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader&) {
  if (channel0_.allocation == 0) return;
  channel0_.read_scale_factor(reader);
  scale_factor1_ = scale_factor_table[reader.get_bits(6)];
}

bool Layer1IntensityBand::emit_sample(int32_t channel_select, SynthesisFilter& filter0,
                                      SynthesisFilter* filter1) {
  if (channel0_.allocation != 0) {
    emit_scaled(channel_select, filter0, filter1, channel0_.sample_value(),
                channel0_.scale_factor, scale_factor1_);
  }
  return true;
}

}  // namespace mpegin
