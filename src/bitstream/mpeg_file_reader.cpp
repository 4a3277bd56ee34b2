#include "bitstream/mpeg_file_reader.h"

#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bitstream/big_endian.h"
#include "bitstream/file_source.h"
#include "bitstream/stream_tags.h"

namespace mpegin {

namespace {

// The bits a later header must repeat: sync, version bit and sampling-frequency index.
constexpr uint32_t kPatternMask = 0xFFF80C00;
// Bytes kept in the input buffer before the position when it is refilled (step_back).
constexpr uint32_t kKeepBehind = 4;
// Bytes the buffer shows ahead of the position at most.
constexpr uint32_t kLookAhead = MpegFileReader::kInputBytes - 2 * kKeepBehind;

bool is_single_channel(uint32_t header_word) { return (header_word & 0xC0) == 0xC0; }


// The 11-bit sync, and version bits other than the reserved 01 (MPEG-2.5, 00, included).
bool has_sync(uint32_t header_word) {
  return (header_word & 0xFFE00000) == 0xFFE00000 && (header_word & 0x00180000) != 0x00080000;
}

// Whether a candidate can give a frame length: layer code 0 is reserved and bitrate index 15
// is forbidden. Index 0 (free format) takes its length from the distance between headers;
// it is a header where free format is allowed. (Sampling-frequency index 3 is left to the
// header logic to refuse.)
bool has_frame_length(uint32_t header_word, bool free_format) {
  const uint32_t layer_code = (header_word >> 17) & 3;
  const uint32_t bitrate_index = (header_word >> 12) & 15;
  return layer_code != 0 && bitrate_index != 15 && (bitrate_index != 0 || free_format);
}

#if defined(__SSE2__)
// Bit i set when bytes[i..i+2] start an 11-bit sync with a version other than the reserved
// one, a layer code other than 0 and a bitrate index other than 15 (reads bytes[0..17]).
uint32_t sync_candidates(const uint8_t* bytes) {
  const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 1));
  const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2));
  const __m128i high_nibble = _mm_set1_epi8(static_cast<char>(0xF0));
  const __m128i sync_bits = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i sync = _mm_and_si128(_mm_cmpeq_epi8(b0, _mm_set1_epi8(static_cast<char>(0xFF))),
                                     _mm_cmpeq_epi8(_mm_and_si128(b1, sync_bits), sync_bits));
  const __m128i reserved_layer = _mm_cmpeq_epi8(_mm_and_si128(b1, _mm_set1_epi8(0x06)), _mm_setzero_si128());
  const __m128i reserved_version = _mm_cmpeq_epi8(_mm_and_si128(b1, _mm_set1_epi8(0x18)), _mm_set1_epi8(0x08));
  const __m128i forbidden_rate = _mm_cmpeq_epi8(_mm_and_si128(b2, high_nibble), high_nibble);
  const __m128i refused = _mm_or_si128(_mm_or_si128(reserved_layer, reserved_version), forbidden_rate);
  const __m128i usable = _mm_andnot_si128(refused, sync);
  return static_cast<uint32_t>(_mm_movemask_epi8(usable));
}
#endif

}  // namespace

MpegFileReader::MpegFileReader(const char* file_name) {
  std::unique_ptr<FileSource> file(new (std::nothrow) FileSource(file_name));
  if (file == nullptr || !file->is_open()) {
    status_.set(DecodeStatus::kCannotOpen, file_name);
    return;
  }
  open_source(std::move(file));
}

MpegFileReader::MpegFileReader(std::unique_ptr<ByteSource> source) {
  if (source == nullptr) {
    status_.set(DecodeStatus::kOutOfMemory);
    return;
  }
  open_source(std::move(source));
}

void MpegFileReader::open_source(std::unique_ptr<ByteSource> source) {
  source_ = std::move(source);
  input_.reset(new (std::nothrow) uint8_t[kInputBytes]);
  if (!input_) {
    close();
    status_.set(DecodeStatus::kOutOfMemory);
    return;
  }
  find_audio_end();
}

MpegFileReader::~MpegFileReader() { close(); }

void MpegFileReader::close() {
  source_.reset();
  input_start_ = input_end_ = 0;
}

void MpegFileReader::find_audio_end() {
  audio_end_ = UINT64_MAX;
  const int64_t end = source_->size();
  if (end < 0) return;  // a stream: read to its end
  file_size_ = static_cast<uint64_t>(end);
  uint64_t audio_end = file_size_;
  // Tags at the end, one before the other (an APE tag before an ID3v1 tag, say).
  uint8_t tail[kTailBytes];
  for (int tags = 0; tags < 8; ++tags) {
    const size_t count = audio_end < kTailBytes ? static_cast<size_t>(audio_end) : kTailBytes;
    if (count == 0 || !source_->seek(audio_end - count)) break;
    ++read_calls_;
    if (source_->read(tail, count) != count) break;
    const uint64_t length = trailing_tag_length(tail, count, audio_end);
    if (length == 0) break;
    audio_end -= length;
  }
  audio_end_ = audio_end;
  if (!source_->seek(0)) audio_end_ = 0;
}

uint32_t MpegFileReader::fill(uint32_t n) {
  if (input_end_ - input_start_ >= n || !source_) return input_end_ - input_start_;
  // Move what is left (and a few bytes before it) to the front, then read behind it.
  const uint32_t keep = input_start_ < kKeepBehind ? input_start_ : kKeepBehind;
  const uint32_t from = input_start_ - keep;
  if (from > 0) {
    std::memmove(input_.get(), input_.get() + from, input_end_ - from);
    input_offset_ += from;
    input_start_ -= from;
    input_end_ -= from;
  }
  while (input_end_ - input_start_ < n) {
    const uint64_t read_end = input_offset_ + input_end_;
    if (read_end >= audio_end_ || input_end_ == kInputBytes) break;
    uint64_t room = kInputBytes - input_end_;
    if (audio_end_ - read_end < room) room = audio_end_ - read_end;
    const size_t got = source_->read(input_.get() + input_end_, static_cast<size_t>(room));
    ++read_calls_;
    if (got == 0) break;  // end of the source or a failing read
    input_end_ += static_cast<uint32_t>(got);
  }
  return input_end_ - input_start_;
}

void MpegFileReader::skip(uint64_t n) {
  const uint32_t available = input_end_ - input_start_;
  if (n <= available) {
    input_start_ += static_cast<uint32_t>(n);
    return;
  }
  const uint64_t target = position() + n;
  if (source_ && source_->seek(target)) {
    input_offset_ = target;
    input_start_ = input_end_ = 0;
    return;
  }
  // Not seekable: read through.
  while (n > 0) {
    const uint32_t got = fill(kInputBytes / 2);
    if (got == 0) return;
    const uint32_t take = n < got ? static_cast<uint32_t>(n) : got;
    input_start_ += take;
    n -= take;
  }
}

bool MpegFileReader::find_header(uint32_t& header_word, bool match_pattern) {
  if (!source_) return false;
  for (;;) {
    if (fill(4) < 4) return false;
    const uint8_t* const bytes = input_.get();
    const uint32_t end = input_end_ - 3;  // the last window starts before this
    uint32_t p = input_start_;
    const auto accept = [&](uint32_t at) {
      const uint32_t window = load_big_endian32(bytes + at);
      const bool match = match_pattern ? (window & kPatternMask) == sync_pattern : has_sync(window);
      if (!match || !has_frame_length(window, free_format_ || !match_pattern)) return false;
      header_word = window;
      input_start_ = at + 4;
      return true;
    };
    // A header at the current position (the next frame of a clean stream) is taken at once.
    if (p < end && bytes[p] == 0xFF && accept(p)) return true;
#if defined(__SSE2__)
    // Sixteen positions at a time: only those with the sync, a layer code and a bitrate
    // index other than 15 are looked at one by one.
    for (; p + 19 <= input_end_; p += 16) {
      uint32_t candidates = sync_candidates(bytes + p);
      for (; candidates != 0; candidates &= candidates - 1) {
        if (accept(p + static_cast<uint32_t>(__builtin_ctz(candidates)))) return true;
      }
    }
#endif
    // Every position is a candidate start; only a 0xFF byte followed by 0xE0 or more is
    // looked at.
    for (; p < end; ++p) {
      if (bytes[p] == 0xFF && bytes[p + 1] >= 0xE0 && accept(p)) return true;
    }
    input_start_ = p;
  }
}

void MpegFileReader::set_sync_pattern(uint32_t header_word) {
  sync_pattern = header_word & kPatternMask;
  audio_start_ = position() >= 4 ? position() - 4 : 0;
}

void MpegFileReader::skip_id3v2_tags() {
  uint8_t tag_header[10];
  while (fill(sizeof tag_header) >= sizeof tag_header) {
    std::memcpy(tag_header, input_.get() + input_start_, sizeof tag_header);
    uint64_t length = id3v2_tag_length(tag_header, sizeof tag_header);
    if (length == 0) return;
    // A tag that claims more than the file holds is damaged: its frames may still follow
    // right after its header, so only the header is passed over.
    if (runs_past_end(length)) length = sizeof tag_header;
    skip(length);
  }
}

bool MpegFileReader::runs_past_end(uint64_t length) {
  if (audio_end_ != UINT64_MAX) return length > audio_end_ - position();
  // A stream's end is not known in advance: it is looked for as far as the input buffer
  // reaches (past that, the tag is read through).
  const uint32_t window = length < kLookAhead ? static_cast<uint32_t>(length) : kLookAhead;
  return bytes_ahead(window) < window;
}

bool MpegFileReader::peek_word(uint32_t distance, uint32_t& word) {
  if (distance > kLookAhead - 4 || fill(distance + 4) < distance + 4) return false;
  word = load_big_endian32(input_.get() + input_start_ + distance);
  return true;
}

uint32_t MpegFileReader::bytes_ahead(uint32_t limit) {
  if (limit > kLookAhead) limit = kLookAhead;
  const uint32_t available = fill(limit);
  return available < limit ? available : limit;
}

bool MpegFileReader::find_ahead(uint32_t from, uint32_t to, uint32_t mask, uint32_t value,
                                bool single_channel, uint32_t& distance) {
  const uint32_t available = bytes_ahead(to + 4);
  if (available < 4) return false;
  const uint32_t last = available - 4 < to ? available - 4 : to;
  const uint8_t* const bytes = input_.get() + input_start_;
  for (uint32_t d = from; d <= last; ++d) {
    const void* sync = std::memchr(bytes + d, 0xFF, last + 1 - d);
    if (sync == nullptr) return false;
    d = static_cast<uint32_t>(static_cast<const uint8_t*>(sync) - bytes);
    const uint32_t window = load_big_endian32(bytes + d);
    if ((window & mask) == value && is_single_channel(window) == single_channel) {
      distance = d;
      return true;
    }
  }
  return false;
}

void MpegFileReader::step_back(uint32_t n) { input_start_ -= n < input_start_ ? n : input_start_; }

bool MpegFileReader::seek_to(uint64_t offset) {
  if (!source_) return false;
  if (offset >= input_offset_ && offset <= input_offset_ + input_end_) {
    input_start_ = static_cast<uint32_t>(offset - input_offset_);
    return true;
  }
  if (!source_->seek(offset)) return false;
  input_offset_ = offset;
  input_start_ = input_end_ = 0;
  return true;
}

bool MpegFileReader::skip_frame(uint32_t byte_count) {
  bits_ = BitReader(body_, kBodyMask, 0, 0);
  frame_bytes = 0;
  if (!source_ || byte_count > kMaxFrameBytes) return false;
  uint32_t delivered = fill(byte_count);
  if (delivered > byte_count) delivered = byte_count;
  input_start_ += delivered;
  return delivered == byte_count;
}

bool MpegFileReader::read_frame(uint32_t byte_count) {
  if (!source_ || byte_count > kMaxFrameBytes) {
    bits_ = BitReader(body_, kBodyMask, 0, 0);
    frame_bytes = 0;
    return false;
  }
  uint32_t delivered = fill(byte_count);
  if (delivered > byte_count) delivered = byte_count;
  // A body cut short by the end of the audio keeps the stale bytes after what arrived; the
  // caller drops such a frame.
  set_body(input_.get() + input_start_, delivered);
  frame_bytes = byte_count;
  bits_ = BitReader(body_, kBodyMask, 0, static_cast<int32_t>(8 * byte_count));
  input_start_ += delivered;
  return delivered == byte_count;
}

void MpegFileReader::set_body(const uint8_t* bytes, uint32_t count) {
  if (count > kMaxFrameBytes) count = kMaxFrameBytes;
  std::memcpy(body_, bytes, count);
  std::memcpy(body_ + kBodyRingBytes, body_, 8);
  frame_bytes = count;
  bits_ = BitReader(body_, kBodyMask, 0, static_cast<int32_t>(8 * count));
}

uint64_t MpegFileReader::audio_bytes() const {
  const uint64_t end = audio_end_ < file_size_ ? audio_end_ : file_size_;
  return end > audio_start_ ? end - audio_start_ : 0;
}

}  // namespace mpegin
