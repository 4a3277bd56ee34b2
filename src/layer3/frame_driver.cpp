#include <cstdint>
#include <cstring>

#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer3/layer3_decoder.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {

namespace {

// Bits of side information after the header and the optional check word.
uint32_t side_info_bits(uint32_t version, uint32_t channel_count) {
  if (version == 1) return channel_count == 1 ? 136 : 256;
  return channel_count == 1 ? 72 : 136;
}

uint32_t frame_position(const MpegFileReader& reader) {
  return reader.word_cursor * 32 + reader.bit_offset;
}

void skip_frame_bits(MpegFileReader& reader, uint32_t bits) {
  for (; bits >= 16; bits -= 16) reader.get_bits(16);
  reader.get_bits(bits);
}

}  // namespace

bool Layer3Decoder::decode_frame(bool intact) {
  // A frame without main data bytes (a length too short for its side information) has
  // nothing to place in the reservoir; it keeps its place in time all the same.
  const uint32_t main_data_bytes = header.main_data_bytes;
  if (main_data_bytes == 0) {
    conceal_frame();
    return false;
  }

  const uint32_t side_info_start = frame_position(reader);
  const bool side_info_complete = read_side_info();
  if (!side_info_complete) {
    // A forbidden block type stopped the side information early. The frame is not decoded,
    // but its main data still goes into the reservoir, where later frames may begin.
    const uint32_t read = frame_position(reader) - side_info_start;
    skip_frame_bits(reader, side_info_bits(header.version, channel_count) - read);
  }
  // Main data that began before the first stored byte, damaged side information: the
  // frame is concealed, its main data still stored.
  if (!locate_main_data(main_data_bytes) || !side_info_complete || !intact) {
    conceal_frame();
    return false;
  }

  for (uint32_t gr = 0; gr < granule_count; ++gr) {
    for (uint32_t ch = 0; ch < channel_count; ++ch) {
      part2_start = reservoir.bits_read;
      if (header.version == 1) {
        read_scale_factors(ch, gr);
      } else {
        read_lsf_scale_factors(ch, gr);
      }
      decode_huffman(ch, gr);
      requantize(requantized[ch], ch, gr);
    }
    process_stereo(gr);
    // The last long-block spectrum stands in for frames that cannot be decoded. It is kept
    // once a frame: from the second granule, or from the first when the second is short.
    for (uint32_t ch = 0; ch < channel_count; ++ch) {
      const bool last_long = !granule_info(ch, gr).is_short_block() &&
                             (gr + 1 == granule_count || granule_info(ch, gr + 1).is_short_block());
      if (last_long) std::memcpy(concealment[ch], stereo_out[ch], sizeof concealment[ch]);
    }
    output_granule(gr);
  }
  return true;
}

void Layer3Decoder::conceal_frame() {
  // The last decoded long-block spectrum again, 6 dB quieter each granule, through the
  // filter banks: the sound fades out over a run of damaged frames instead of breaking off.
  for (uint32_t gr = 0; gr < granule_count; ++gr) {
    for (uint32_t ch = 0; ch < channel_count; ++ch) {
      GranuleInfo& gi = granule_info(ch, gr);
      gi.window_switching_flag = 0;
      gi.block_type = 0;
      gi.mixed_block_flag = 0;
      for (int32_t i = 0; i < 576; ++i) stereo_out[ch][i] = concealment[ch][i] *= 0.5f;
    }
    output_granule(gr);
  }
}

void Layer3Decoder::follow_channels() {
  // Nothing of the last format's sound carries over: overlap and stand-in spectrum go.
  channel_count = header.channel_count();
  std::memset(overlap, 0, sizeof overlap);
  std::memset(concealment, 0, sizeof concealment);
}

void Layer3Decoder::output_granule(uint32_t gr) {
  if (mix_down && channel_count > 1) {
    // Mixed down after the hybrid filter bank, where both channels are time samples of
    // their own block types: each keeps its own overlap, and the averaged samples go
    // through the first filter.
    reconstruct_channel(0, gr);
    for (int32_t i = 0; i < 576; ++i) stereo_out[0][i] = hybrid[i];
    reconstruct_channel(1, gr);
    for (int32_t i = 0; i < 576; ++i) stereo_out[1][i] = hybrid[i];
    downmix();
    synthesize_granule(filter0, stereo_out[0]);
    return;
  }
  for (uint32_t ch = 0; ch < channel_count; ++ch) {
    SynthesisFilter* target = ch != 0 ? filter1 : &filter0;
    if (target == nullptr) continue;
    reconstruct_channel(ch, gr);
    synthesize_granule(*target, hybrid);
  }
}

bool Layer3Decoder::locate_main_data(uint32_t main_data_bytes) {
  // The main data moves through a local store in whole words; a frame body is at most
  // 1732 bytes, a count beyond that (a corrupt frame) in several passes.
  uint8_t bytes[2048];
  for (uint32_t left = main_data_bytes; left > 0;) {
    const uint32_t n = left < sizeof bytes ? left : static_cast<uint32_t>(sizeof bytes);
    reader.get_bytes(bytes, n);
    reservoir.put_bytes(bytes, n);
    left -= n;
  }

  // Bytes read or started so far; the rest of a started byte is passed over.
  int32_t consumed = reservoir.bits_read / 8;
  const int32_t started = reservoir.bits_read % 8;
  if (started != 0) {
    reservoir.get_bits(static_cast<uint32_t>(8 - started));
    ++consumed;
  }

  const int32_t skip = bytes_stored - side_info.main_data_begin - consumed;
  bytes_stored += static_cast<int32_t>(main_data_bytes);
  if (skip < 0) return false;

  // Keep both running counts bounded; the ring position does not change.
  while (consumed > BitReservoir::kCapacity) {
    bytes_stored -= BitReservoir::kCapacity;
    reservoir.rewind_bytes(BitReservoir::kCapacity);
    consumed -= BitReservoir::kCapacity;
  }
  reservoir.get_bits(8u * static_cast<uint32_t>(skip));  // long reads only move the position
  return true;
}

void Layer3Decoder::reconstruct_channel(uint32_t ch, uint32_t gr) {
  reorder(stereo_out[ch], ch, gr);
  antialias(ch, gr);
  hybrid_synthesis(ch, gr);
  invert_frequencies();
}

void Layer3Decoder::synthesize_granule(SynthesisFilter& filter, const float* samples) {
  // The granule is laid out subband by subband (samples[18 sb + t]): the filter takes the 18
  // slots in one run, straight from that layout.
  float pcm[18 * 32];
  filter.synthesize_slots(samples, 18, 18, pcm);
  pcm_buffer.append_block(static_cast<int>(filter.channel()), pcm, 18 * 32);
}

}  // namespace mpegin
