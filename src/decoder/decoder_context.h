#pragma once

#include <cstdint>
#include <memory>

#include "decoder/gapless_trim.h"
#include "decoder/stream_info.h"
#include "layer12/band_pool.h"

namespace mpegin {

class Crc16;
class FrameHeader;
class Layer3Decoder;
class MpegFileReader;
class PcmBuffer;
class SynthesisFilter;

// Owns everything needed to decode one MPEG audio file and decodes it one frame per
// call: the reader, the current header, a synthesis filter per output channel, the
// PCM buffer, the Layer I/II band objects and, while the stream is in Layer III, the
// Layer III decoder. The host keeps one process-wide instance; tests and tools may
// create their own.
//
// States: closed, open, ended (the stream has no further frame). Opening an open
// context is refused; decoding a closed or ended one yields 0 bytes.
class DecoderContext {
 public:
  // Upper bound of what one decode_next delivers: 1152 samples x 2 channels x 4 bytes.
  static constexpr uint32_t kMaxFrameOutputBytes = 1152 * 2 * 4;

  DecoderContext();
  ~DecoderContext();
  DecoderContext(const DecoderContext&) = delete;
  DecoderContext& operator=(const DecoderContext&) = delete;

  // Opens the file and reads its first frame. 1 on success; 0 when the file cannot
  // be opened, has no valid first frame, or this context is already open (the open
  // stream is then left as it was). Tags before and after the audio and an encoder's
  // information frame (Xing, Info, VBRI) are passed over.
  int open(const char* file_name);
  // Fills info from the current header; 1 when filled, 0 (nothing written) when no
  // stream is open.
  int describe(StreamInfo& info);
  // Decodes the current frame into destination as interleaved 32-bit floats (full
  // scale 1.0) and reads the next frame ahead. Returns the byte count, at most
  // kMaxFrameOutputBytes: 0 once the stream has ended, and 0 for a frame whose CRC
  // check fails (decoding goes on with the next frame). A null destination discards
  // the samples.
  uint32_t decode_next(void* destination);
  // As decode_next, without the copy: `samples` is set to the decoder's own store, which stays
  // valid until the next decode_next, decode_next_samples or close.
  uint32_t decode_next_samples(const float*& samples);
  // Releases everything; the context can be opened again.
  void close();
  // Destroys the PCM buffer, the synthesis filters and the Layer III decoder.
  void release_decoders();
  bool is_open() const;
  // True once the read-ahead found no further frame: every later decode_next yields 0.
  bool end_of_stream() const { return end_of_stream_; }
  // Number of audio frames of the open file (0 when closed): the count of an encoder's
  // information frame (Xing, Info, VBRI) when the file starts with one, else an estimate from
  // the size of the audio and the first frame's length.
  uint64_t frame_count() const;
  // Gapless trimming of a stream whose encoder tag gives its delay and padding (on after
  // open; see GaplessTrim). Off, every frame is delivered whole.
  void set_gapless(bool on) { gapless_.set_enabled(on); }
  bool gapless() const { return gapless_.enabled(); }
  // The stream has an encoder tag that trimming follows (on or off).
  bool gapless_tagged() const { return gapless_.tagged(); }

 private:
  void follow_layer_change();
  void create_layer3();
  void decode_layer3_frame();
  void decode_layer12_frame();
  template <class Band>
  void decode_bands(const BandList<Band>& list);

  std::unique_ptr<MpegFileReader> reader_;
  std::unique_ptr<FrameHeader> header_;
  Crc16* pending_crc_ = nullptr;  // owned by header_; none for the first frame
  bool single_channel_ = false;
  uint32_t current_mode_ = 0;
  uint32_t current_layer_ = 0;
  bool end_of_stream_ = false;
  uint32_t tagged_frames_ = 0;  // audio frames named by an information frame; 0 without
  std::unique_ptr<SynthesisFilter> filter0_;
  std::unique_ptr<SynthesisFilter> filter1_;
  std::unique_ptr<PcmBuffer> pcm_buffer_;
  std::unique_ptr<Layer3Decoder> layer3_;
  BandPool bands_;
  GaplessTrim gapless_;
};

}  // namespace mpegin
