#pragma once

#include <cstdint>
#include <cstdio>

namespace mpegin {

// bit_masks[n] = 2^n - 1 for n = 0..17.
inline constexpr uint32_t bit_masks[18] = {
    0x0,    0x1,    0x3,    0x7,    0xF,    0x1F,   0x3F,   0x7F,    0xFF,
    0x1FF,  0x3FF,  0x7FF,  0xFFF,  0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF, 0x1FFFF};

// The input file: finds frame headers by sliding a 4-byte window through the file one byte
// at a time, reads the body of the current frame into a fixed buffer and hands out its bits
// most significant first.
class MpegFileReader {
 public:
  // Largest frame body the buffer takes, in bytes (433 words).
  static constexpr uint32_t kMaxFrameBytes = 1732;
  // The word storage is a power of two so that the read cursor wraps inside it: reading past
  // the body of a corrupt frame yields stale buffer contents, never memory outside the object.
  static constexpr uint32_t kBufferWords = 512;
  static constexpr uint32_t kWordMask = kBufferWords - 1;

  // Opens the file for reading; on failure writes "Error opening file: <name>" to stderr.
  explicit MpegFileReader(const char* file_name);
  ~MpegFileReader();
  MpegFileReader(const MpegFileReader&) = delete;
  MpegFileReader& operator=(const MpegFileReader&) = delete;

  bool is_open() const { return file_ != nullptr; }

  // Searches from the current file position for the next header and leaves the file just
  // after it. Without `match_pattern` any 12-bit sync is a candidate; with it the candidate
  // must repeat the sync pattern set by set_sync_pattern. Candidates that carry no usable
  // frame length (reserved layer code, free-format or forbidden bitrate index) are skipped
  // like any other non-header bytes. Returns false at the end of the file.
  bool find_header(uint32_t& header_word, bool match_pattern);

  // Fixes the bits every later header must repeat (the word is the first header masked by
  // 0xFFF80CC0): sync, version bit, sampling-frequency index and single-channel-ness.
  void set_sync_pattern(uint32_t header_word);

  // Reads `byte_count` body bytes and prepares them for get_bits. False when the count does
  // not fit the frame buffer (nothing is read then) or fewer bytes than requested arrived.
  bool read_frame(uint32_t byte_count);

  // The next n bits (n = 0..17) of the frame body, most significant first, right-aligned.
  uint32_t get_bits(uint32_t n) {
    const uint32_t s = bit_offset + n;  // 0..48
    const uint64_t pair = (uint64_t{frame_buffer[word_cursor]} << 32) |
                          frame_buffer[(word_cursor + 1) & kWordMask];
    // (pair >> 1) >> (63 - s) is pair >> (64 - s), defined for s = 0 as well.
    const uint32_t bits = static_cast<uint32_t>((pair >> 1) >> (63 - s)) & bit_masks[n];
    word_cursor = (word_cursor + (s >> 5)) & kWordMask;
    bit_offset = s & 31;
    return bits;
  }

  // The next n x 8 bits of the frame body as n bytes, the same as n calls of get_bits(8);
  // whole words are taken at a time.
  void get_bytes(uint8_t* out, uint32_t n) {
    for (; n >= 4; n -= 4, out += 4) {
      const uint64_t pair = (uint64_t{frame_buffer[word_cursor]} << 32) |
                            frame_buffer[(word_cursor + 1) & kWordMask];
      const uint32_t word = static_cast<uint32_t>(pair >> (32 - bit_offset));
      out[0] = static_cast<uint8_t>(word >> 24);
      out[1] = static_cast<uint8_t>(word >> 16);
      out[2] = static_cast<uint8_t>(word >> 8);
      out[3] = static_cast<uint8_t>(word);
      word_cursor = (word_cursor + 1) & kWordMask;
    }
    for (; n > 0; --n) *out++ = static_cast<uint8_t>(get_bits(8));
  }

  // Size of the file in bytes; 0 when it is not open.
  uint64_t file_size() const;

  // Closes the file; further searches and reads fail.
  void close();

  // Big-endian words of the current body; only the first (frame_bytes + 3) / 4 are current.
  uint32_t frame_buffer[kBufferWords] = {};
  uint32_t frame_bytes = 0;
  uint32_t word_cursor = 0;
  uint32_t bit_offset = 0;
  uint32_t sync_pattern = 0;
  bool sync_single_channel = false;

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace mpegin
