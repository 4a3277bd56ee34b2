#include "layer3/layer3_decoder.h"

#include "bitstream/frame_header.h"
#include "layer3/prepared_tables.h"
#include "layer3/scale_factor_band_table.h"

namespace mpegin {

Layer3Decoder::Layer3Decoder(MpegFileReader& reader, FrameHeader& header, SynthesisFilter& filter0,
                             SynthesisFilter* filter1, SampleSink& pcm_buffer,
                             bool mix_down)
    : reader_(reader),
      header_(header),
      filter0_(filter0),
      filter1_(filter1),
      pcm_buffer_(pcm_buffer),
      mix_down_(mix_down),
      state_(),
      scratch_() {
  prepare_layer3_tables();
  state_.granule_count = header.version == 1 ? 2 : 1;
  state_.band_table_index = band_table_index(header.version, header.mpeg25, header.sample_frequency);
  follow_channels();
}

}  // namespace mpegin
