// Large-file offsets for fseeko/ftello on 32-bit POSIX systems.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "bitstream/mpeg_file_reader.h"

#include <cstdio>
#if !defined(_WIN32)
#include <sys/types.h>
#endif

namespace mpegin {

namespace {

bool seek_to(std::FILE* file, uint64_t position, int whence) {
#if defined(_WIN32)
  return _fseeki64(file, static_cast<__int64>(position), whence) == 0;
#else
  return fseeko(file, static_cast<off_t>(position), whence) == 0;
#endif
}

int64_t tell(std::FILE* file) {
#if defined(_WIN32)
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

// The bits a later header must repeat: sync, version bit and sampling-frequency index.
constexpr uint32_t kPatternMask = 0xFFF80C00;

bool is_single_channel(uint32_t header_word) { return (header_word & 0xC0) == 0xC0; }

// Whether a candidate can give a frame length: layer code 0 is reserved, and bitrate
// indexes 0 (free format) and 15 (forbidden) have no bit rate. Such a candidate is no
// header. (Sampling-frequency index 3 is left to the header logic to refuse.)
bool has_frame_length(uint32_t header_word) {
  const uint32_t layer_code = (header_word >> 17) & 3;
  const uint32_t bitrate_index = (header_word >> 12) & 15;
  return layer_code != 0 && bitrate_index != 0 && bitrate_index != 15;
}

}  // namespace

MpegFileReader::MpegFileReader(const char* file_name) {
  file_ = file_name ? std::fopen(file_name, "rb") : nullptr;
  if (!file_) {
    std::fprintf(stderr, "Error opening file: %s\n", file_name ? file_name : "");
    std::fflush(stderr);
  }
}

MpegFileReader::~MpegFileReader() { close(); }

void MpegFileReader::close() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

bool MpegFileReader::find_header(uint32_t& header_word, bool match_pattern) {
  if (!file_) return false;
  uint32_t window = 0;
  // The window holds the last four bytes read, the oldest in bits 31..24; each step slides it
  // by one byte, so every file position is tried as the start of a header.
  for (int filled = 0;;) {
    const int byte = std::getc(file_);
    if (byte == EOF) return false;
    window = (window << 8) | static_cast<uint32_t>(byte);
    if (filled < 3) {
      ++filled;
      continue;
    }
    const bool match = match_pattern ? (window & kPatternMask) == sync_pattern &&
                                           is_single_channel(window) == sync_single_channel
                                     : (window & 0xFFF00000) == 0xFFF00000;
    if (match && has_frame_length(window)) {
      header_word = window;
      return true;
    }
  }
}

void MpegFileReader::set_sync_pattern(uint32_t header_word) {
  sync_pattern = header_word & kPatternMask;
  sync_single_channel = is_single_channel(header_word);
}

bool MpegFileReader::read_frame(uint32_t byte_count) {
  word_cursor = 0;
  bit_offset = 0;
  if (!file_ || byte_count > kMaxFrameBytes) {
    frame_bytes = 0;
    return false;
  }
  unsigned char* bytes = reinterpret_cast<unsigned char*>(frame_buffer);
  const size_t delivered = std::fread(bytes, 1, byte_count, file_);
  frame_bytes = byte_count;
  // Whole words from file order to big-endian values; the tail of a partly filled last word
  // keeps the bytes the buffer held before.
  const uint32_t words = (byte_count + 3) / 4;
  for (uint32_t i = 0; i < words; ++i) {
    const unsigned char* b = bytes + 4 * i;
    frame_buffer[i] = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  }
  return delivered == byte_count;
}

uint64_t MpegFileReader::file_size() const {
  if (!file_) return 0;
  const int64_t position = tell(file_);
  if (position < 0 || !seek_to(file_, 0, SEEK_END)) return 0;
  const int64_t end = tell(file_);
  seek_to(file_, static_cast<uint64_t>(position), SEEK_SET);
  return end < 0 ? 0 : static_cast<uint64_t>(end);
}

}  // namespace mpegin
