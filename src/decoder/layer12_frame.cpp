#include <type_traits>

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "decoder/decoder_context.h"
#include "decoder/pcm_buffer.h"
#include "synthesis/synthesis_filter.h"

// Layer I and II frames: allocation, scale factors and samples band by band, then the
// subband synthesis for each set of 32 samples.

namespace mpegin {

namespace {

template <class Band>
constexpr bool kHasSelection = std::is_base_of_v<Layer2Band, Band>;

}  // namespace

void DecoderContext::decode_layer12_frame() {
  current_mode_ = header_->mode;
  if (current_layer_ == 1) {
    decode_bands(bands_.select_layer1(*header_));
  } else {
    decode_bands(bands_.select_layer2(*header_));
  }
}

template <class Band>
void DecoderContext::decode_bands(const BandList<Band>& list) {
  if (list.count == 0) return;
  MpegFileReader& reader = *reader_;
  FrameHeader& header = *header_;
  Band* const* bands = list.bands;
  const uint32_t count = list.count;

  for (uint32_t i = 0; i < count; ++i) bands[i]->parse_allocation(reader, header, pending_crc_);
  if constexpr (kHasSelection<Band>) {
    for (uint32_t i = 0; i < count; ++i) bands[i]->parse_scale_factor_selection(reader, pending_crc_);
  }
  if (pending_crc_ != nullptr) {
    const bool intact = pending_crc_->value == header.crc_read;
    pending_crc_->value = 0xFFFF;
    if (!intact) return;  // the frame's audio is skipped
  }
  for (uint32_t i = 0; i < count; ++i) bands[i]->parse_scale_factors(reader, header);

  // Every band runs in every pass; the highest band's results end the loops.
  const int32_t channel_select = single_channel_ ? 1 : 0;
  SynthesisFilter& filter0 = *filter0_;
  SynthesisFilter* filter1 = filter1_.get();
  Band* const last = bands[count - 1];
  bool done;
  do {
    for (uint32_t i = 0; i + 1 < count; ++i) bands[i]->parse_samples(reader);
    done = last->parse_samples(reader);
    bool emitted;
    do {
      for (uint32_t i = 0; i + 1 < count; ++i) bands[i]->emit_sample(channel_select, filter0, filter1);
      emitted = last->emit_sample(channel_select, filter0, filter1);
      filter0.synthesize(*pcm_buffer_);
      if (filter1 != nullptr) filter1->synthesize(*pcm_buffer_);
    } while (!emitted);
  } while (!done);
  pcm_buffer_->end_of_frame(1);
}

}  // namespace mpegin
