#pragma once

#include <cstdint>
#include <memory>

#include "bitstream/decode_status.h"
#include "bitstream/vbr_header.h"
#include "decoder/frame_index.h"
#include "decoder/gapless_trim.h"
#include "decoder/stream_info.h"
#include "decoder/stream_walk.h"
#include "layer12/band_pool.h"

namespace mpegin {

class ByteSource;
class Crc16;
class FrameHeader;
class Layer3Decoder;
class MpegFileReader;
class PcmBuffer;
class SynthesisFilter;

// What happened while a stream was decoded, counted as it goes. Positions are samples per
// channel from the start of the output (after gapless trimming).
struct DecodeEvents {
  uint64_t output_samples = 0;          // delivered so far
  uint32_t concealed_frames = 0;        // frames that could not be decoded, concealed in place
  uint64_t first_concealed_sample = 0;  // where the first of them starts
  // The first frame whose layer or channel count differs from the frame before it; layer 0
  // when there was none.
  uint64_t format_change_sample = 0;
  int32_t format_change_layer = 0;
  int32_t format_change_channels = 0;
  uint32_t format_changes = 0;          // frames whose layer or channel count differs from the last
};

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
  //
  // The frame headers of the whole file are walked first (nothing is decoded): the output
  // has the largest channel count of any frame, and frames with one channel fill both.
  // Without the walk (walk_headers false, or a file that cannot be walked) the first
  // frame's channel count holds and two-channel frames of a one-channel output are mixed
  // down as (L + R) / 2.
  int open(const char* file_name, bool walk_headers = true);
  // The same over any source (a file, memory, a stream; null: kOutOfMemory). A source that
  // cannot be read again from its start (a stream) is not walked. A stream whose read failed
  // before a frame was confirmed is refused with kReadError.
  int open(std::unique_ptr<ByteSource> source, bool walk_headers);
  // Why the last open failed, with the message a program may show its user (e.g. "Error
  // opening file: <name>", "Unknown sample frequency!"); kOk after a successful open. The
  // context itself prints nothing.
  const StatusMessage& status() const { return status_; }
  // Fills info from the current header; 1 when filled, 0 (nothing written) when no
  // stream is open.
  int describe(StreamInfo& info);
  // Decodes the current frame into destination as interleaved 32-bit floats (full
  // scale 1.0) and reads the next frame ahead. Returns the byte count, at most
  // kMaxFrameOutputBytes; 0 once the stream has ended. Every frame read yields its
  // samples: one that cannot be decoded (a failed check word, Layer III main data that is
  // not there) is concealed in its place. The stream ends at the end of the file, at a
  // last frame cut short, and where the sampling rate changes. A null destination
  // discards the samples.
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
  // Number of audio frames of the open file (0 when closed): the walk's count, which is what
  // decoding delivers. Without the walk: the count of an encoder's information frame (Xing,
  // Info, VBRI) when the file starts with one (it describes only the file it was written
  // for: a file joined to another or cut short has other counts), else an estimate from the
  // size of the audio and the first frame's length.
  uint64_t frame_count() const;
  // Gapless trimming of a stream whose encoder tag gives its delay and padding (on after
  // open; see GaplessTrim). Off, every frame is delivered whole.
  void set_gapless(bool on) { gapless_.set_enabled(on); }
  bool gapless() const { return gapless_.enabled(); }
  // The stream has an encoder tag that trimming follows (on or off).
  bool gapless_tagged() const { return gapless_.tagged(); }
  // What the walk over the headers found; null when the file was not walked.
  const StreamWalk* walk() const { return walked_ ? &walk_ : nullptr; }
  // The sample rate the stream changed to where decoding ended; 0 when it did not change.
  int32_t changed_rate() const;
  // What decoding has met since open (kept until the next open).
  const DecodeEvents& events() const { return events_; }
  // Source offset of the header of the frame the next decode_next delivers.
  uint64_t frame_offset() const { return frame_offset_; }
  // Samples per channel decoding delivers: exact when walked (after gapless trimming), else
  // estimated from the encoder tag's frame count or the size of the audio; 0 when closed.
  uint64_t sample_count() const;
  // The encoder tag of the stream's information frame (present false without one).
  const EncoderTag& encoder_tag() const { return encoder_tag_; }
  // A read of the source failed (a stream's callback reported an error): the stream ended early.
  bool read_failed() const;

  // Moves decoding of a walked stream to frame `frame` (0 = the first audio frame): the next
  // decode_next delivers its samples, positions and events as a decode from the start would
  // (see seek.cpp for where that ends). A frame past the last ends the stream. False, leaving
  // the context as it was, when the stream was not walked (a stream source); false, with the
  // stream ended, when the source could not be read again.
  bool seek_frame(uint64_t frame);
  // The walk found the first frame's layer and channel count throughout and no change of rate.
  bool uniform() const;

 private:
  void follow_format_change();
  void note_concealed_frame();
  // Two channels of output from a one-channel frame: channel 0 copied to channel 1.
  void fill_second_channel();
  void create_layer3();
  void decode_layer3_frame();
  void decode_layer12_frame();
  template <class Band>
  void decode_bands(const BandList<Band>& list);
  // The subband synthesis of a Layer I/II frame of `slots` slots; decoded_slots 0 conceals it.
  void synthesize_layer12(uint32_t decoded_slots, uint32_t slots);
  // Seeking (seek.cpp): decoding state as at open, reading from the frame at `offset`, the
  // `samples` samples per channel before it dropped; false when the source cannot seek there.
  bool restart_at(uint64_t frame, uint64_t offset, uint64_t samples);
  // A Layer III decoder as new, in the storage of the one there is (a seek allocates nothing).
  void renew_layer3();

  std::unique_ptr<MpegFileReader> reader_;
  std::unique_ptr<FrameHeader> header_;
  Crc16* pending_crc_ = nullptr;  // owned by header_; none for the first frame
  bool single_channel_ = false;
  uint32_t current_layer_ = 0;
  bool end_of_stream_ = false;
  uint32_t tagged_frames_ = 0;  // audio frames named by an information frame; 0 without
  uint32_t frame_channels_ = 0; // channels of the frame format the filters are set up for
  uint32_t concealed_slots_ = 0;  // slots of the last Layer I/II frame that can stand in
  bool layer3_checks_pass_ = false;  // a Layer III check word of the stream has passed
  StreamWalk walk_;
  bool walked_ = false;
  FrameIndex index_;
  std::unique_ptr<SynthesisFilter> filter0_;
  std::unique_ptr<SynthesisFilter> filter1_;
  std::unique_ptr<PcmBuffer> pcm_buffer_;
  std::unique_ptr<Layer3Decoder> layer3_;
  BandPool bands_;
  GaplessTrim gapless_;
  DecodeEvents events_;
  StatusMessage status_;
  EncoderTag encoder_tag_;
  uint64_t frame_offset_ = 0;
};

}  // namespace mpegin
