#include <cstdint>

#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer3/layer3_decoder.h"
#include "synthesis/sse2_support.h"
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

void Layer3Decoder::decode_frame() {
  // A frame without a usable length (free format, forbidden bit rate) has no main data
  // count; nothing of it can be placed in the reservoir.
  const uint32_t main_data_bytes = header.main_data_bytes;
  if (main_data_bytes == 0) return;

  const uint32_t side_info_start = frame_position(reader);
  const bool side_info_complete = read_side_info();
  if (!side_info_complete) {
    // A forbidden block type stopped the side information early. The frame is not decoded,
    // but its main data still goes into the reservoir, where later frames may begin.
    const uint32_t read = frame_position(reader) - side_info_start;
    skip_frame_bits(reader, side_info_bits(header.version, channel_count) - read);
  }
  if (!locate_main_data(main_data_bytes) || !side_info_complete) return;

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

    if (channel_select == 3 && channel_count > 1) {
      // Mixed down after the hybrid filter bank, where both channels are time samples of
      // their own block types: each keeps its own overlap, and the averaged samples go
      // through the first filter.
      reconstruct_channel(0, gr);
      for (int32_t i = 0; i < 576; ++i) stereo_out[0][i] = hybrid[i];
      reconstruct_channel(1, gr);
      for (int32_t i = 0; i < 576; ++i) stereo_out[1][i] = hybrid[i];
      downmix();
      synthesize_granule(filter0, stereo_out[0]);
      continue;
    }
    for (uint32_t ch = first_channel; ch <= last_channel; ++ch) {
      SynthesisFilter* target = (ch != 0 && channel_select != 2) ? filter1 : &filter0;
      if (target == nullptr) continue;
      reconstruct_channel(ch, gr);
      synthesize_granule(*target, hybrid);
    }
  }
  pcm_buffer.end_of_frame(1);
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
  // Slot by slot: the granule turned so that each slot's 32 subband samples are contiguous.
  float slots[18][32];
  int32_t first_scalar_slot = 0;
#if MPEGIN_SSE2
  // Slots 0..15 in blocks of four subbands by four slots; the last two slots one by one.
  for (int32_t sb = 0; sb < 32; sb += 4) {
    const float* in = samples + 18 * sb;
    for (int32_t t = 0; t < 16; t += 4) {
      __m128 r0 = _mm_loadu_ps(in + t);
      __m128 r1 = _mm_loadu_ps(in + 18 + t);
      __m128 r2 = _mm_loadu_ps(in + 36 + t);
      __m128 r3 = _mm_loadu_ps(in + 54 + t);
      _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
      _mm_storeu_ps(&slots[t][sb], r0);
      _mm_storeu_ps(&slots[t + 1][sb], r1);
      _mm_storeu_ps(&slots[t + 2][sb], r2);
      _mm_storeu_ps(&slots[t + 3][sb], r3);
    }
  }
  first_scalar_slot = 16;
#endif
  for (int32_t sb = 0; sb < 32; ++sb)
    for (int32_t t = first_scalar_slot; t < 18; ++t) slots[t][sb] = samples[18 * sb + t];
  for (int32_t t = 0; t < 18; ++t) filter.synthesize(slots[t], pcm_buffer);
}

}  // namespace mpegin
