#include <type_traits>

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "decoder/decoder_context.h"
#include "decoder/pcm_buffer.h"
#include "synthesis/synthesis_filter.h"

// Layer I and II frames: allocation and scale factors band by band, then the samples of all
// subbands and channels, requantised into one store per channel, then the subband synthesis
// of the frame's slots.

namespace mpegin {

namespace {

template <class Band>
constexpr bool kIsLayer2 = std::is_base_of_v<Layer2Band, Band>;

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
  if constexpr (kIsLayer2<Band>) {
    for (uint32_t i = 0; i < count; ++i) bands[i]->parse_scale_factor_selection(reader, pending_crc_);
  }
  if (pending_crc_ != nullptr) {
    const bool intact = pending_crc_->value == header.crc_read;
    pending_crc_->value = 0xFFFF;
    if (!intact) return;  // the frame's audio is skipped
  }
  CodedSamples& samples = bands_.samples();
  for (uint32_t i = 0; i < count; ++i) bands[i]->parse_scale_factors(reader, header, samples);

  CodedSamples::Subbands& subbands = bands_.subbands();
  uint32_t slots;
  if constexpr (kIsLayer2<Band>) {
    slots = 3 * CodedSamples::kLayer2Groups;
    samples.clear_silent_rows(subbands, slots);
    for (uint32_t group = 0; group < CodedSamples::kLayer2Groups; ++group) {
      samples.read_layer2_group(reader, group);
    }
  } else {
    slots = CodedSamples::kLayer1Slots;
    samples.clear_silent_rows(subbands, slots);
    for (uint32_t slot = 0; slot < slots; ++slot) samples.read_layer1_slot(reader, slot);
  }
  samples.requantise(0, slots, subbands);

  // Channel 1 exists only in a two-channel stream that is decoded as such.
  float pcm[2][32 * CodedSamples::kSlots];
  filter0_->synthesize_slots(subbands.samples[0][0], CodedSamples::kSlots, slots, pcm[0]);
  if (SynthesisFilter* filter1 = filter1_.get()) {
    filter1->synthesize_slots(subbands.samples[1][0], CodedSamples::kSlots, slots, pcm[1]);
    pcm_buffer_->append_pair(pcm[0], pcm[1], 32 * slots);
  } else {
    pcm_buffer_->append_block(0, pcm[0], 32 * slots);
  }
  pcm_buffer_->end_of_frame(1);
}

}  // namespace mpegin
