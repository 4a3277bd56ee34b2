#pragma once

#include <cstdint>

#include "layer3/layer3_scratch.h"
#include "layer3/layer3_state.h"

namespace mpegin {

class FrameHeader;
class MpegFileReader;
class SampleSink;
class SynthesisFilter;

// Layer III decoder: reads a frame's side information and main data, runs the stages (scale
// factors, Huffman decoding, requantisation, stereo processing, reordering, antialias, hybrid
// filter bank, frequency inversion) and hands the granules to the synthesis filters. What lasts
// between frames is its Layer3State, what one frame needs its Layer3Scratch. Decoding allocates
// nothing.
class Layer3Decoder {
 public:
  // mix_down: the two channels of a stereo frame are mixed down to one (through filter0);
  // otherwise each channel goes through its own filter. The references are not owned and
  // must outlive every call of decode_frame.
  Layer3Decoder(MpegFileReader& reader, FrameHeader& header, SynthesisFilter& filter0,
                SynthesisFilter* filter1, SampleSink& pcm_buffer, bool mix_down);
  Layer3Decoder(const Layer3Decoder&) = delete;
  Layer3Decoder& operator=(const Layer3Decoder&) = delete;

  // Decodes the frame whose header is current and whose body the reader holds. A frame that
  // cannot be decoded (`intact` false: its check word failed; its main data lies before the
  // first stored byte; a forbidden block type; a granule whose data reaches past the bytes
  // stored or whose scale factors or big values reach past its own length) is concealed: it
  // yields its samples all the same, from the last decoded spectrum fading out, and its main
  // data stays stored for later frames. True when decoded, false when concealed.
  bool decode_frame(bool intact = true);
  // Takes the channel count of the current header after a change of it: the overlap and the
  // concealment spectrum start from silence.
  void follow_channels();

  // What lasts between frames (for tests and diagnostics).
  const Layer3State& state() const { return state_; }

 private:
  // Scale factors, Huffman data, requantisation and stereo processing of every granule of the
  // frame into scratch_.stereo_out; false when a granule's data is damaged.
  bool read_granules();
  // Reorder, antialias, hybrid synthesis and frequency inversion of output channel ch of
  // granule gr from `spectrum`. Returns its 18 time samples per subband: in `spectrum` itself
  // for long blocks (which need no reordering), in scratch_.hybrid for short ones.
  const float* reconstruct_channel(float* spectrum, uint32_t ch, uint32_t gr);
  // Reconstructs and synthesises the output channels of granule gr.
  void output_granule(uint32_t gr);
  void conceal_frame();
  // Hands the 18 x 32 samples (line 18 * subband + slot) to `filter`, one synthesis per slot.
  void synthesize_granule(SynthesisFilter& filter, const float* samples);

  MpegFileReader& reader_;
  FrameHeader& header_;
  SynthesisFilter& filter0_;
  SynthesisFilter* filter1_;    // none for a single-channel stream
  SampleSink& pcm_buffer_;
  bool mix_down_;

  Layer3State state_;
  Layer3Scratch scratch_;
};

}  // namespace mpegin
