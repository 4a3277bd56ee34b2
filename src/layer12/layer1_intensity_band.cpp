#include "layer12/layer1_intensity_band.h"

#include "bitstream/mpeg_file_reader.h"
#include "layer12/scale_factor_table.h"

namespace mpegin {

void Layer1IntensityBand::parse_scale_factors(MpegFileReader& reader, const FrameHeader&,
                                              CodedSamples& samples) {
  if (channel0_.allocation == 0) return;
  channel0_.read_scale_factor(reader);
  const float scale_factor1 = scale_factor_table[reader.get_bits(6)];
  samples.add_layer1(index(), channel0_.allocation, CodedSamples::kBoth, channel0_.scale_factor,
                     scale_factor1);
}

}  // namespace mpegin
