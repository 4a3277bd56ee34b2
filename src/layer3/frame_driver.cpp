#include <algorithm>
#include <cstdint>
#include <cstring>

#include "bitstream/bit_reader.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer3/antialias.h"
#include "layer3/huffman_decoder.h"
#include "layer3/hybrid_synthesis.h"
#include "layer3/layer3_decoder.h"
#include "layer3/reorder.h"
#include "layer3/requantize.h"
#include "layer3/scale_factor_band_table.h"
#include "layer3/stereo_processing.h"
#include "synthesis/sample_sink.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {

bool Layer3Decoder::decode_frame(bool intact) {
  // A frame without main data bytes (a length too short for its side information) has
  // nothing to place in the reservoir; it keeps its place in time all the same.
  const uint32_t main_data_bytes = header_.main_data_bytes;
  if (main_data_bytes == 0) {
    conceal_frame();
    return false;
  }

  // The side information, read from a copy of its at most 32 bytes (and eight of padding for
  // the read window): it ends where it ends.
  uint8_t side[32 + 8] = {};
  const uint32_t side_bytes = layer3_side_info_bytes(header_.version, state_.channel_count);
  reader_.get_bytes(side, side_bytes);
  BitReader side_bits(side, UINT32_MAX, 0, static_cast<int32_t>(8 * side_bytes));
  // A forbidden block type stops the side information early. The frame is not decoded, but
  // its main data still goes into the reservoir, where later frames may begin.
  const bool side_info_complete =
      read_side_info(side_bits, header_.version == 1, state_.channel_count, scratch_.side_info);

  // The main data moves through a local store; a frame body is at most 3456 bytes, a count
  // beyond the store in several passes.
  BitReservoir& reservoir = state_.reservoir;
  uint8_t bytes[2048];
  for (uint32_t left = main_data_bytes; left > 0;) {
    const uint32_t n = left < sizeof bytes ? left : static_cast<uint32_t>(sizeof bytes);
    reader_.get_bytes(bytes, n);
    reservoir.put_bytes(bytes, n);
    left -= n;
  }
  // Main data that began before the first stored byte, damaged side information or data:
  // the frame is concealed, its main data still stored.
  const bool located = reservoir.start_frame(main_data_bytes, scratch_.side_info.main_data_begin);
  if (!located || !side_info_complete || !intact || !read_granules()) {
    conceal_frame();
    return false;
  }

  // The last long-block spectrum stands in for frames that cannot be decoded. It is kept once a
  // frame: from the second granule, or from the first when the second is short.
  const uint32_t granule_count = state_.granule_count;
  for (uint32_t gr = 0; gr < granule_count; ++gr) {
    for (uint32_t ch = 0; ch < state_.channel_count; ++ch) {
      const bool last_long = !scratch_.granule(ch, gr).is_short_block() &&
                             (gr + 1 == granule_count || scratch_.granule(ch, gr + 1).is_short_block());
      if (last_long) {
        std::memcpy(state_.concealment[ch], scratch_.stereo_out[gr][ch], sizeof state_.concealment[ch]);
      }
    }
  }
  for (uint32_t gr = 0; gr < granule_count; ++gr) output_granule(gr);
  return true;
}

bool Layer3Decoder::read_granules() {
  BitReservoir& reservoir = state_.reservoir;
  const bool mpeg1 = header_.version == 1;
  const ScaleFactorBandTable& bands = band_tables[state_.band_table_index];
  const StereoCoding coding =
      stereo_coding(state_.channel_count, header_.mode, header_.mode_extension, !mpeg1);
  // Channels coded as they sound (one channel, or two without joint coding) need no stereo
  // processing: they are requantised into the stereo output directly.
  const bool as_transmitted = coding.channel_count == 1 || (!coding.mid_side && !coding.intensity);
  // Where the stored main data ends, as a read position.
  const int32_t stored_end = 8 * reservoir.bytes_stored();

  for (uint32_t gr = 0; gr < state_.granule_count; ++gr) {
    for (uint32_t ch = 0; ch < state_.channel_count; ++ch) {
      GranuleInfo& gi = scratch_.granule(ch, gr);
      Layer3ScaleFactors& sf = scratch_.scale_factors[ch];
      const int32_t end = reservoir.position() + gi.part2_3_length;
      if (end > stored_end) return false;  // more data than the frame has
      BitReader bits = reservoir.reader(end);
      if (mpeg1) {
        read_scale_factors(bits, gi, scratch_.side_info.channel[ch].scfsi, gr, sf);
      } else {
        read_lsf_scale_factors(bits, gi, ch == 1 && coding.intensity, sf);
      }
      if (bits.overrun()) return false;
      const int32_t count = decode_huffman(bits, gi, bands, scratch_.quantized);
      if (count < 0) return false;
      reservoir.set_position(end);
      scratch_.nonzero_count[ch] = count;
      requantize(scratch_.quantized, count, gi, sf, bands,
                 as_transmitted ? scratch_.stereo_out[gr][ch] : scratch_.requantized[ch]);
    }
    // Stereo processing now: the intensity positions are this granule's scale factors.
    if (!as_transmitted) {
      const int32_t nonzero_lines = std::max(scratch_.nonzero_count[0], scratch_.nonzero_count[1]);
      process_stereo(scratch_.requantized, coding, scratch_.granule(1, gr), scratch_.scale_factors[1],
                     bands, scratch_.lsf_k, scratch_.stereo_out[gr], nonzero_lines);
    }
  }
  return true;
}

void Layer3Decoder::conceal_frame() {
  // The last decoded long-block spectrum again, 6 dB quieter each granule, through the
  // filter banks: the sound fades out over a run of damaged frames instead of breaking off.
  for (uint32_t gr = 0; gr < state_.granule_count; ++gr) {
    for (uint32_t ch = 0; ch < state_.channel_count; ++ch) {
      GranuleInfo& gi = scratch_.granule(ch, gr);
      gi.window_switching_flag = 0;
      gi.block_type = 0;
      gi.mixed_block_flag = 0;
      float* spectrum = scratch_.stereo_out[gr][ch];
      float* kept = state_.concealment[ch];
      for (int32_t i = 0; i < 576; ++i) spectrum[i] = kept[i] *= 0.5f;
    }
    output_granule(gr);
  }
}

void Layer3Decoder::follow_channels() {
  // Nothing of the last format's sound carries over: overlap and stand-in spectrum go.
  state_.channel_count = header_.channel_count();
  std::memset(state_.overlap, 0, sizeof state_.overlap);
  std::memset(state_.concealment, 0, sizeof state_.concealment);
}

void Layer3Decoder::output_granule(uint32_t gr) {
  float (*spectra)[576] = scratch_.stereo_out[gr];
  if (mix_down_ && state_.channel_count > 1) {
    // Mixed down after the hybrid filter bank, where both channels are time samples of
    // their own block types: each keeps its own overlap, and the averaged samples go
    // through the first filter. The spectra are not needed again and take the samples.
    const float* first = reconstruct_channel(spectra[0], 0, gr);
    if (first != spectra[0]) std::memcpy(spectra[0], first, sizeof scratch_.hybrid);
    const float* second = reconstruct_channel(spectra[1], 1, gr);
    for (int32_t i = 0; i < 576; ++i) spectra[0][i] = (second[i] + spectra[0][i]) * 0.5f;
    synthesize_granule(filter0_, spectra[0]);
    return;
  }
  for (uint32_t ch = 0; ch < state_.channel_count; ++ch) {
    SynthesisFilter* target = ch != 0 ? filter1_ : &filter0_;
    if (target == nullptr) continue;
    synthesize_granule(*target, reconstruct_channel(spectra[ch], ch, gr));
  }
}

const float* Layer3Decoder::reconstruct_channel(float* spectrum, uint32_t ch, uint32_t gr) {
  // The spectrum is not needed after this (the stand-in spectrum is a copy): a long block,
  // whose lines are in subband order already, is transformed where it lies.
  const GranuleInfo& gi = scratch_.granule(ch, gr);
  float* hybrid = spectrum;
  if (gi.is_short_block()) {
    hybrid = scratch_.hybrid;
    reorder(spectrum, gi, state_.band_table_index, hybrid);
  }
  antialias(gi, hybrid);
  hybrid_synthesis(gi, hybrid, state_.overlap[ch]);
  invert_frequencies(hybrid);
  return hybrid;
}

void Layer3Decoder::synthesize_granule(SynthesisFilter& filter, const float* samples) {
  // The granule is laid out subband by subband (samples[18 sb + t]): the filter takes the 18
  // slots in one run, straight from that layout.
  float pcm[18 * 32];
  filter.synthesize_slots(samples, 18, 18, pcm);
  pcm_buffer_.append_block(static_cast<int>(filter.channel()), pcm, 18 * 32);
}

}  // namespace mpegin
