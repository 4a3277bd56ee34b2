#include "layer3/layer3_decoder.h"

#include "bitstream/frame_header.h"

namespace mpegin {

Layer3Decoder::Layer3Decoder(MpegFileReader& reader, FrameHeader& header, SynthesisFilter& filter0,
                             SynthesisFilter* filter1, SampleSink& pcm_buffer,
                             bool mix_down)
    : reader(reader),
      header(header),
      filter0(filter0),
      filter1(filter1),
      pcm_buffer(pcm_buffer),
      mix_down(mix_down),
      side_info(),
      scale_factors(),
      bytes_stored(0),
      part2_start(0) {
  channel_count = header.channel_count();
  granule_count = header.version == 1 ? 2 : 1;
  // The frame header never accepts the reserved frequency index 3; clamp all the same
  // so that band_tables cannot be indexed past its end.
  const uint32_t frequency = header.sample_frequency < 3 ? header.sample_frequency : 2;
  const uint32_t family = header.version == 1 ? 3 : header.mpeg25 ? 6 : 0;
  band_table_index = static_cast<int32_t>(frequency + family);

  follow_channels();
  nonzero_count[0] = nonzero_count[1] = 576;
}

}  // namespace mpegin
