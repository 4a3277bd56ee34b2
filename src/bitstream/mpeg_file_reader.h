#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "bitstream/bit_reader.h"
#include "bitstream/byte_source.h"
#include "bitstream/decode_status.h"

namespace mpegin {

// The input: finds frame headers by sliding a 4-byte window through the bytes of a source (a
// file, a block of memory or a stream) one byte at a time, reads the body of the current frame
// into a fixed buffer and hands out its bits most significant first.
//
// The source is read in large blocks into an input buffer, and the header search scans that
// buffer, so junk costs no system call per byte. At construction the reader looks at the
// end of a source that has one (a file, memory): an ID3v1 tag, an APE tag or an appended ID3v2
// tag there is not audio, and the reader behaves as if the source ended where they begin. (A
// stream cuts its trailing tags itself; see StreamSource.)
class MpegFileReader {
 public:
  // Largest frame body the buffer takes, in bytes. Every header with a bit rate from the
  // tables needs at most 1725; free-format frames may be longer, up to a frame of 3460 bytes
  // (768 kbit/s Layer II at 32 kHz).
  static constexpr uint32_t kMaxFrameBytes = 3456;
  // The body store is a ring of a power of two bytes, so that reading past the body of a
  // corrupt frame never reaches memory outside the object. It is large enough that no frame's
  // reading wraps (a Layer II frame reads at most about 4.4 kB whatever its length), so that
  // the position after a stage tells whether the frame read past its body: over_read.
  static constexpr uint32_t kBodyRingBytes = 8192;
  static constexpr uint32_t kBodyMask = kBodyRingBytes - 1;
  // Size of the input buffer.
  static constexpr uint32_t kInputBytes = 1u << 14;

  // Opens the file for reading. On failure status() says why: "Error opening file: <name>"
  // (kCannotOpen), or kOutOfMemory.
  explicit MpegFileReader(const char* file_name);
  // Reads from `source` (kOutOfMemory when it is null).
  explicit MpegFileReader(std::unique_ptr<ByteSource> source);
  ~MpegFileReader();
  MpegFileReader(const MpegFileReader&) = delete;
  MpegFileReader& operator=(const MpegFileReader&) = delete;

  bool is_open() const { return source_ != nullptr; }
  // kOk unless the construction failed.
  const StatusMessage& status() const { return status_; }

  // Searches from the current file position for the next header and leaves the file just
  // after it. Without `match_pattern` any 11-bit sync of a version that is not reserved is a
  // candidate (MPEG-2.5 included); with it the candidate must repeat the sync pattern set by
  // set_sync_pattern (any channel mode). Candidates that carry no usable
  // frame length (reserved layer code, forbidden bitrate index, and the free-format index
  // in a stream that is not free format) are skipped like any other non-header bytes.
  // Returns false at the end of the audio.
  bool find_header(uint32_t& header_word, bool match_pattern);

  // Fixes the bits every later header must repeat (the word is the first header masked by
  // 0xFFF80CC0): sync, version bit and sampling-frequency index. Called
  // right after the first header was found; its position is the start of the audio.
  void set_sync_pattern(uint32_t header_word);
  // Whether later headers may carry the free-format bitrate index (a free-format stream).
  void accept_free_format(bool accept) { free_format_ = accept; }

  // Skips ID3v2 tags (any number, one after the other) at the current position. A tag whose
  // declared size runs past the end of the audio is skipped by its 10-byte header only.
  void skip_id3v2_tags();

  // Looking ahead of the current position without moving it (used to confirm a header):
  // the four bytes `distance` bytes ahead as a big-endian word; false past the audio end.
  bool peek_word(uint32_t distance, uint32_t& word);
  // Bytes of audio left after the current position, counted up to `limit`.
  uint32_t bytes_ahead(uint32_t limit);
  // The first distance in [from, to] where the four bytes ahead, masked with `mask`, equal
  // `value` and whose channel mode is single channel exactly when `single_channel` is.
  bool find_ahead(uint32_t from, uint32_t to, uint32_t mask, uint32_t value, bool single_channel,
                  uint32_t& distance);
  // Moves the position back by n bytes (n <= 4) after find_header, so that a refused
  // candidate's last bytes are searched again.
  void step_back(uint32_t n);

  // Reads `byte_count` body bytes and prepares them for get_bits. False when the count does
  // not fit the frame buffer (nothing is read then) or fewer bytes than requested arrived.
  bool read_frame(uint32_t byte_count);

  // Moves the position to `offset` (a frame header found earlier, for a seek); false when the
  // source cannot seek.
  bool seek_to(uint64_t offset);

  // Passes over `byte_count` body bytes without reading them into the frame buffer (a walk
  // over the headers); false as read_frame would be.
  bool skip_frame(uint32_t byte_count);

  // Makes `count` (<= kMaxFrameBytes) bytes the current body, read from its start: what
  // read_frame does with the bytes it reads (tests give their own bodies).
  void set_body(const uint8_t* bytes, uint32_t count);

  // The reader of the current body's bits, its end at the body's end.
  BitReader& bits() { return bits_; }
  const BitReader& bits() const { return bits_; }

  // Byte i of the current body.
  uint8_t body_byte(uint32_t i) const { return body_[i & kBodyMask]; }

  // The next n bits (n = 0..32) of the frame body, most significant first, right-aligned.
  uint32_t get_bits(uint32_t n) { return bits_.get_bits(n); }

  // The next n x 8 bits of the frame body as n bytes, the same as n calls of get_bits(8).
  void get_bytes(uint8_t* out, uint32_t n) {
    const uint32_t p = static_cast<uint32_t>(bits_.position());
    const uint32_t at = (p >> 3) & kBodyMask;
    if ((p & 7) == 0 && at + n <= kBodyRingBytes) {
      // On a byte boundary and inside the ring (every frame that reads within its body).
      std::memcpy(out, body_ + at, n);
      bits_.skip(static_cast<int32_t>(8 * n));
      return;
    }
    for (; n > 0; --n) *out++ = static_cast<uint8_t>(bits_.get_bits(8));
  }

  // Bits of the current body read so far.
  uint32_t bits_read() const { return static_cast<uint32_t>(bits_.position()); }
  // Whether the reading went past the end of the current body, into bytes that are not the
  // frame's: the frame is damaged. Checked after a stage of reading, not per read.
  bool over_read() const { return bits_.overrun(); }

  // Size of the source in bytes; 0 when it is not open or has no known size (a stream).
  uint64_t file_size() const { return source_ ? file_size_ : 0; }
  // Bytes of audio: from the first header to the end of the audio (before trailing tags).
  uint64_t audio_bytes() const;
  // File offset of the current position.
  uint64_t position() const { return input_offset_ + input_start_; }
  // Read calls made on the source so far.
  uint64_t read_calls() const { return read_calls_; }
  // A read of the source failed (a stream's callback reported an error).
  bool read_failed() const { return source_ != nullptr && source_->failed(); }
  // A second source over the same bytes from their start; null for a stream or a closed reader.
  std::unique_ptr<ByteSource> reopen_source() const { return source_ ? source_->reopen() : nullptr; }

  // Closes the source; further searches and reads fail.
  void close();

  uint32_t frame_bytes = 0;  // bytes of the current body
  uint32_t sync_pattern = 0;

 private:
  // Makes at least n bytes available from input_start_ when the audio holds them; returns
  // the number available (which may be less at the end of the audio).
  uint32_t fill(uint32_t n);
  // Moves the position n bytes forward, past the buffer by seeking when needed.
  void skip(uint64_t n);
  // Whether `length` bytes from the position run past the end of the audio (a damaged tag).
  bool runs_past_end(uint64_t length);
  void open_source(std::unique_ptr<ByteSource> source);
  void find_audio_end();

  std::unique_ptr<ByteSource> source_;
  StatusMessage status_;
  std::unique_ptr<uint8_t[]> input_;
  uint32_t input_start_ = 0;     // next unread byte of input_
  uint32_t input_end_ = 0;       // end of the bytes held in input_
  uint64_t input_offset_ = 0;    // file offset of input_[0]
  uint64_t file_size_ = 0;
  uint64_t audio_start_ = 0;
  uint64_t audio_end_ = UINT64_MAX;
  bool free_format_ = false;
  uint64_t read_calls_ = 0;
  // The current body from byte 0, in a ring whose first eight bytes are repeated behind its
  // end for reads that start in its last bytes. Bytes past the body are not cleared per frame:
  // they are stale bytes of earlier frames (zero before the first), read only by a frame that
  // reads past its end, and such a frame is damaged whatever they hold.
  uint8_t body_[kBodyRingBytes + 8] = {};
  BitReader bits_{body_, kBodyMask, 0, 0};
};

}  // namespace mpegin
