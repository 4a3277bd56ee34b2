#include <type_traits>

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "decoder/decoder_context.h"
#include "decoder/pcm_buffer.h"
#include "synthesis/synthesis_filter.h"

// Layer I and II frames: allocation and scale factors band by band, then the samples of all
// subbands and channels, read and requantised into one store per channel, then the subband
// synthesis of the frame's slots.

namespace mpegin {

namespace {

template <class Band>
constexpr bool kIsLayer2 = std::is_base_of_v<Layer2Band, Band>;

}  // namespace

void DecoderContext::decode_layer12_frame() {
  if (current_layer_ == 1) {
    decode_bands(bands_.select_layer1(*header_));
  } else {
    decode_bands(bands_.select_layer2(*header_));
  }
}

template <class Band>
void DecoderContext::decode_bands(const BandList<Band>& list) {
  const uint32_t slots = kIsLayer2<Band> ? 3 * CodedSamples::kLayer2Groups : CodedSamples::kLayer1Slots;
  if (list.count == 0) {
    synthesize_layer12(0, slots);
    return;
  }
  MpegFileReader& reader = *reader_;
  FrameHeader& header = *header_;

  if constexpr (kIsLayer2<Band>) {
    bands_.parse_layer2_allocations(reader, header, pending_crc_);
    bands_.parse_layer2_selections(reader, pending_crc_);
  } else {
    bands_.parse_layer1_allocations(reader, header, pending_crc_);
  }
  if (pending_crc_ != nullptr) {
    const bool intact = pending_crc_->value == header.crc_read;
    pending_crc_->value = 0xFFFF;
    if (!intact) {
      synthesize_layer12(0, slots);  // the frame's audio is concealed
      return;
    }
  }
  if constexpr (kIsLayer2<Band>) {
    bands_.parse_layer2_scale_factors(reader, header);
  } else {
    bands_.parse_layer1_scale_factors(reader, header);
  }
  const CodedSamples& samples = bands_.samples();
  CodedSamples::Subbands& subbands = bands_.subbands();
  if constexpr (kIsLayer2<Band>) {
    samples.read_layer2_groups(reader, 0, CodedSamples::kLayer2Groups, subbands);
  } else {
    samples.read_layer1_slots(reader, 0, slots, subbands);
  }
  // A frame whose allocation asks for more bits than its body holds would read bytes that are
  // not its own: it is concealed like one whose check word failed. The subband samples are
  // still the last frame's (nothing was written), which the concealment repeats.
  if (reader.over_read()) {
    synthesize_layer12(0, slots);
    return;
  }
  samples.clear_silent_rows(subbands, slots);
  synthesize_layer12(slots, slots);
}

void DecoderContext::synthesize_layer12(uint32_t decoded_slots, uint32_t slots) {
  CodedSamples::Subbands& subbands = bands_.subbands();
  const bool two_channel_frame = header_->channel_count() == 2;
  if (decoded_slots == 0) {
    // Concealment: the last decoded frame's subband samples again, 6 dB quieter, when it had
    // as many slots; silence through the filters' tails otherwise.
    note_concealed_frame();
    const bool repeat = concealed_slots_ == slots;
    for (auto& channel : subbands.samples)
      for (auto& subband : channel)
        for (float& value : subband) value = repeat ? value * 0.5f : 0.0f;
  } else {
    concealed_slots_ = slots;
  }
  if (two_channel_frame && filter1_ == nullptr) {
    // A one-channel output: both channels mixed, (L + R) / 2 (the synthesis is linear).
    for (uint32_t sb = 0; sb < 32; ++sb)
      for (uint32_t t = 0; t < slots; ++t)
        subbands.samples[0][sb][t] = (subbands.samples[0][sb][t] + subbands.samples[1][sb][t]) * 0.5f;
  }

  float pcm[2][32 * CodedSamples::kSlots];
  filter0_->synthesize_slots(subbands.samples[0][0], CodedSamples::kSlots, slots, pcm[0]);
  if (SynthesisFilter* filter1 = two_channel_frame ? filter1_.get() : nullptr) {
    filter1->synthesize_slots(subbands.samples[1][0], CodedSamples::kSlots, slots, pcm[1]);
    pcm_buffer_->append_pair(pcm[0], pcm[1], 32 * slots);
  } else {
    pcm_buffer_->append_block(0, pcm[0], 32 * slots);
  }
}

}  // namespace mpegin
