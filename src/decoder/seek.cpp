// Exact seeking in a walked stream. The decoder starts again a few frames before the target
// with the state it has at open and decodes those frames without delivering them, enough to
// rebuild everything that carries over between frames:
//  - Layer III: a frame's main data begins main_data_begin bytes back, in the main data of
//    earlier frames. The frame before the target (MPEG-1; two for LSF, one granule each) is
//    decoded whole: its first granule rebuilds the overlap of the hybrid filter bank, its last
//    the synthesis filter's 16-slot history. The decode starts far enough before it that its
//    main data is stored, read from the side information's main_data_begin.
//  - Layers I and II: no reservoir and no overlap; the synthesis history (16 slots: two
//    Layer I frames of 12, one Layer II frame of 36), which also holds the subband samples
//    that stand in for a damaged frame.
//  - A change of layer resets the filters and the concealment state in every decode, so the
//    frames before it are not needed beyond the one that precedes it.
// A damaged frame among the dropped ones (concealed where the state was already exact
// otherwise) may belong to a run that began further back, whose concealment carries over:
// the decode then starts again before that frame, as far back as needed, at worst from the
// start of the stream.
//
// Where this is not exact (damaged streams only):
//  - a damaged Layer III frame is concealed with the last long-block spectrum; after a run of
//    frames with short blocks only that begins before the frames decoded whole, a seek has not seen the one a decode
//    from the start conceals with;
//  - a Layer III frame with a failed check word is concealed only once a check word of the
//    stream has passed (some encoders write wrong ones throughout); after a seek that is
//    known from the dropped frames alone;
//  - a damaged frame that reads past its end reads bytes the frame buffer kept from the
//    frames before, which a seek restores only as far as it decodes them.
#include <cstdint>
#include <new>

#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "decoder/decoder_context.h"
#include "decoder/pcm_buffer.h"
#include "layer3/layer3_decoder.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {

namespace {

// Frames a seek looks back from its target: first a few (enough for intact streams), then
// more where damaged frames precede it; beyond that it decodes from the start.
constexpr uint64_t kNear = 32;
constexpr uint64_t kWindow = 512;
// preroll_start's answer when the frames it looked at do not reach back far enough.
constexpr uint64_t kOutside = UINT64_MAX;

struct FrameNote {
  uint64_t offset = 0;
  uint64_t samples = 0;         // samples per channel before the frame
  uint32_t main_data_bytes = 0; // Layer III main data in the frame
  uint32_t main_data_begin = 0; // Layer III: bytes of earlier frames its main data starts back
  uint32_t layer = 0;
};

// The headers of frames [first, last] (last - first < kWindow), read from the index.
class FrameNotes {
 public:
  bool read(uint64_t first, uint64_t last, MpegFileReader& reader, FrameHeader& header,
            const FrameIndex& index) {
    first_ = first;
    last_ = last;
    uint64_t frame = 0;
    FrameIndex::Entry entry;
    if (!index.at_or_before(first_, frame, entry) || !reader.seek_to(entry.offset)) return false;
    uint64_t samples = entry.samples;
    Crc16* crc = nullptr;
    bool ok = true;
    for (; frame <= last_; ++frame) {
      // Frames before the window are passed over; those in it are read for main_data_begin.
      header.read_bodies = frame >= first_;
      if (!(ok = header.read_header(reader, crc))) break;
      if (frame < first_) {
        samples += header.samples_per_frame();
        continue;
      }
      FrameNote& note = notes_[frame % kWindow];
      note.offset = reader.position() - 4 - header.frame_bytes;
      note.samples = samples;
      note.main_data_bytes = header.layer == 3 ? header.main_data_bytes : 0;
      note.main_data_begin = header.layer == 3 ? reader.get_bits(header.version == 1 ? 9 : 8) : 0;
      note.layer = header.layer;
      samples += header.samples_per_frame();
    }
    header.read_bodies = true;
    return ok;
  }

  const FrameNote& operator[](uint64_t frame) const { return notes_[frame % kWindow]; }
  uint64_t first() const { return first_; }

 private:
  uint64_t first_ = 0;
  uint64_t last_ = 0;
  FrameNote notes_[kWindow];
};

// The frame to start decoding at so that frame `target` comes out exact; kOutside when that
// lies before the notes. Frames before the target decoded whole: Layer I two (24 slots of
// synthesis history), Layer II one (36 slots); Layer III one for MPEG-1 (its first granule
// rebuilds the overlap, its second the history), two for LSF (one granule each). A Layer III
// frame decoded whole also needs the frames its main data reaches back into.
uint64_t preroll_start(const FrameNotes& notes, uint64_t target, uint32_t version) {
  if (target == 0) return 0;
  const uint32_t layer = notes[target].layer;
  const uint64_t whole_frames = layer == 1 ? 2 : layer == 2 ? 1 : version == 1 ? 1 : 2;
  uint32_t stored = 0;
  uint32_t needed = 0;
  for (uint64_t frame = target - 1;; --frame) {
    if (frame < notes.first()) return kOutside;
    if (notes[frame].layer != notes[frame + 1].layer) return frame;
    const uint64_t back = target - frame;
    if (back == whole_frames) {
      if (layer != 3) return frame;
      needed = notes[frame].main_data_begin;
    } else if (back > whole_frames) {
      stored += notes[frame].main_data_bytes;
    }
    if (back >= whole_frames && stored >= needed) return frame;
    if (frame == 0) return 0;
  }
}

// The first frame from `start` whose decoding does not depend on frames before `start`
// (Layer III: whose main data is all stored); a concealed frame from there on is damaged.
uint64_t first_complete(const FrameNotes& notes, uint64_t start, uint64_t target) {
  if (notes[start].layer != 3) return start;
  uint32_t stored = 0;
  uint64_t frame = start;
  for (; frame < target && notes[frame].main_data_begin > stored; ++frame) stored += notes[frame].main_data_bytes;
  return frame;
}

}  // namespace

bool DecoderContext::uniform() const {
  return walked_ && walk_.change_frame == 0 && walk_.changed_rate == 0;
}

void DecoderContext::renew_layer3() {
  if (layer3_ == nullptr) {
    create_layer3();
    return;
  }
  Layer3Decoder* storage = layer3_.release();
  storage->~Layer3Decoder();
  layer3_.reset(new (storage) Layer3Decoder(*reader_, *header_, *filter0_, filter1_.get(), *pcm_buffer_,
                                            single_channel_));
}

bool DecoderContext::restart_at(uint64_t frame, uint64_t offset, uint64_t samples) {
  if (!reader_->seek_to(offset)) return false;
  Crc16* crc = nullptr;
  if (!header_->read_header(*reader_, crc)) return false;
  // The first frame of the stream is decoded without a check, as after open.
  pending_crc_ = frame == 0 ? nullptr : crc;
  frame_offset_ = offset;
  end_of_stream_ = false;
  current_layer_ = header_->layer;
  frame_channels_ = header_->channel_count();
  filter0_->reset();
  if (filter1_ != nullptr) filter1_->reset();
  if (current_layer_ == 3) {
    renew_layer3();
    if (layer3_ == nullptr) return false;
  } else {
    layer3_.reset();
  }
  concealed_slots_ = 0;
  layer3_checks_pass_ = false;
  gapless_.seek(samples);
  events_.output_samples = gapless_.delivered_before(samples);
  return true;
}

bool DecoderContext::seek_frame(uint64_t frame) {
  if (!is_open() || !walked_ || index_.empty()) return false;
  if (frame >= walk_.frames) {
    // Past the end: nothing more to deliver.
    end_of_stream_ = true;
    pending_crc_ = nullptr;
    events_.output_samples = gapless_.delivered(walk_.samples);
    return true;
  }
  uint64_t kept_frame = 0;
  FrameIndex::Entry entry;
  index_.at_or_before(0, kept_frame, entry);
  // The first frame is next, as after open (or a seek to it): nothing to do.
  if (frame == 0 && frame_offset_ == entry.offset && !end_of_stream_) return true;
  const uint32_t version = header_->version;
  const DecodeEvents kept = events_;
  FrameNotes notes;
  bool restarted = false;
  for (const uint64_t window : {kNear, kWindow}) {
    const bool widest = window == kWindow;
    if (!notes.read(frame >= window ? frame - (window - 1) : 0, frame, *reader_, *header_, index_)) {
      restarted = false;
      break;
    }
    uint64_t start = preroll_start(notes, frame, version);
    if (start == kOutside && !widest) continue;
    bool wider = false;
    for (;;) {
      const bool from_notes = start != kOutside;
      if (!from_notes) start = 0;
      if (!(restarted = restart_at(start, from_notes ? notes[start].offset : entry.offset,
                                   from_notes ? notes[start].samples : 0)))
        break;
      const uint64_t complete = from_notes ? first_complete(notes, start, frame) : frame;
      uint64_t damaged = frame;
      for (uint64_t f = start; f < frame && !end_of_stream_; ++f) {
        const uint32_t concealed = events_.concealed_frames;
        const float* samples = nullptr;
        decode_next_samples(samples);
        if (events_.concealed_frames != concealed && f >= complete && damaged == frame) damaged = f;
      }
      if (start == 0 || damaged == frame) break;
      const uint64_t earlier = preroll_start(notes, damaged, version);
      if (earlier == kOutside && !widest) {
        wider = true;
        break;
      }
      if (earlier != kOutside && earlier >= start) break;
      start = earlier;
    }
    if (!wider) break;
  }
  const uint64_t output_samples = events_.output_samples;
  events_ = kept;
  events_.output_samples = output_samples;
  if (!restarted) end_of_stream_ = true;
  return restarted && !end_of_stream_;
}

}  // namespace mpegin
