#pragma once

#include <cstdint>

#include "layer3/bit_reservoir.h"
#include "layer3/layer3_scale_factors.h"
#include "layer3/layer3_side_info.h"

namespace mpegin {

class FrameHeader;
class MpegFileReader;
class SampleSink;
class SynthesisFilter;

// Layer III decoder: everything Layer III keeps between frames (main-data
// reservoir, overlap of the hybrid filter bank, side information, scale factors)
// and the working buffers of one granule. Decoding allocates nothing.
// The fields are public: this is an internal class and its tests drive the stages.
class Layer3Decoder {
 public:
  // mix_down: the two channels of a stereo frame are mixed down to one (through filter0);
  // otherwise each channel goes through its own filter. The references are not owned and
  // must outlive every call of decode_frame.
  Layer3Decoder(MpegFileReader& reader, FrameHeader& header, SynthesisFilter& filter0,
                SynthesisFilter* filter1, SampleSink& pcm_buffer, bool mix_down);
  ~Layer3Decoder() = default;
  Layer3Decoder(const Layer3Decoder&) = delete;
  Layer3Decoder& operator=(const Layer3Decoder&) = delete;

  // Decodes the frame whose header is current and whose body the reader holds. A frame that
  // cannot be decoded (`intact` false: its check word failed; its main data lies before the
  // first stored byte; a forbidden block type) is concealed: it yields its samples all the
  // same, from the last decoded spectrum fading out. True when decoded, false when concealed.
  bool decode_frame(bool intact = true);
  // Takes the channel count of the current header after a change of it: the overlap and the
  // concealment spectrum start from silence.
  void follow_channels();

  // Side information and scale factors.
  // False when a granule has window switching with the forbidden block type 0;
  // reading stops there.
  bool read_side_info();
  void read_scale_factors(uint32_t ch, uint32_t gr);       // MPEG-1
  void read_lsf_scale_factors(uint32_t ch, uint32_t gr);   // MPEG-2 LSF (gr = 0)

  // Huffman data of (ch, gr) into quantized / nonzero_count[ch]; expects
  // part2_start noted before the scale factors. Leaves the reservoir at
  // part2_start + part2_3_length.
  void decode_huffman(uint32_t ch, uint32_t gr);

  // Requantisation, stereo, reordering.
  void requantize(float* out, uint32_t ch, uint32_t gr);
  void process_stereo(uint32_t gr);
  void lsf_intensity_factors(int32_t is_pos, int32_t io_type, uint32_t line);
  void downmix();
  void reorder(const float* source, uint32_t ch, uint32_t gr);

  // Antialias and IMDCT with overlap-add, in place on `hybrid`.
  void antialias(uint32_t ch, uint32_t gr);
  void hybrid_synthesis(uint32_t ch, uint32_t gr);
  // Negates every odd time slot of every odd subband of `hybrid`.
  void invert_frequencies();
  // Subbands of `hybrid` up to and including the last one with a non-zero line (0..32).
  int32_t active_subbands() const;

  // Frame driver steps.
  // Appends the frame's main data to the reservoir and moves the read position to where
  // this frame's main data begins; false when that lies before the first stored byte.
  bool locate_main_data(uint32_t main_data_bytes);
  // Reorder, antialias, hybrid synthesis and frequency inversion of output channel ch:
  // `hybrid` then holds its 18 time samples per subband.
  void reconstruct_channel(uint32_t ch, uint32_t gr);
  // Reconstructs and synthesises the output channels of granule gr from stereo_out.
  void output_granule(uint32_t gr);
  void conceal_frame();
  // Hands the 18 x 32 samples (line 18 * subband + slot) to `filter`, one synthesis per slot.
  void synthesize_granule(SynthesisFilter& filter, const float* samples);

  GranuleInfo& granule_info(uint32_t ch, uint32_t gr) { return side_info.channel[ch].granule[gr]; }

  alignas(64) int32_t quantized[576];
  alignas(64) float requantized[2][576];
  alignas(64) float stereo_out[2][576];
  alignas(64) float hybrid[576];        // 32 subbands x 18: line 18 * subband + slot
  alignas(64) float overlap[2][32][18];
  alignas(64) float lsf_k[2][576];
  alignas(64) float concealment[2][576];  // the last long-block spectrum after stereo processing
  int32_t nonzero_count[2];

  MpegFileReader& reader;
  FrameHeader& header;
  SynthesisFilter& filter0;
  SynthesisFilter* filter1;    // none for a single-channel stream
  SampleSink& pcm_buffer;
  bool mix_down;

  BitReservoir reservoir;
  Layer3SideInfo side_info;
  Layer3ScaleFactors scale_factors[2];

  uint32_t granule_count;      // 2 for MPEG-1, 1 for LSF
  int32_t bytes_stored;        // main-data bytes stored, less 4096 per renormalisation
  int32_t part2_start;         // reservoir bits_read before the current scale factors
  uint32_t channel_count;      // 1 for single channel, else 2
  int32_t band_table_index;    // into band_tables
};

}  // namespace mpegin
