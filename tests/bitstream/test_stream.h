#pragma once

// Small helpers for the bitstream tests: MPEG audio headers and frames built in memory and
// written to temporary files.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace mpegin::bitstream_test {

using Bytes = std::vector<uint8_t>;

// The fields of a frame header as they appear in the bitstream.
struct HeaderBits {
  uint32_t version = 1;        // 1 MPEG-1, 0 MPEG-2 LSF
  uint32_t layer = 2;          // 1..3; 0 writes the reserved layer code
  bool protected_frame = false;
  uint32_t bitrate_index = 9;
  uint32_t sample_frequency = 0;
  uint32_t padding = 0;
  uint32_t private_bit = 0;
  uint32_t mode = 0;
  uint32_t mode_extension = 0;
  uint32_t copyright = 0;
  uint32_t original = 0;
  uint32_t emphasis = 0;
};

inline uint32_t header_word(const HeaderBits& h) {
  const uint32_t layer_code = (4 - h.layer) & 3;
  return 0xFFF00000u | (h.version & 1) << 19 | layer_code << 17 | (h.protected_frame ? 0u : 1u) << 16 |
         (h.bitrate_index & 15) << 12 | (h.sample_frequency & 3) << 10 | (h.padding & 1) << 9 |
         (h.private_bit & 1) << 8 | (h.mode & 3) << 6 | (h.mode_extension & 3) << 4 |
         (h.copyright & 1) << 3 | (h.original & 1) << 2 | (h.emphasis & 3);
}

inline void append_word(Bytes& out, uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(word >> shift));
}

// Frame length in bytes, header included, from the ISO/IEC 11172-3 and 13818-3 formulas.
inline uint32_t frame_length(const HeaderBits& h) {
  static const uint32_t kbit[2][3][15] = {
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}};
  static const uint32_t hz[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};
  const uint32_t bitrate = kbit[h.version][h.layer - 1][h.bitrate_index] * 1000;
  const uint32_t f = hz[h.version][h.sample_frequency];
  if (h.layer == 1) return (bitrate * 12 / f + h.padding) * 4;
  // 1152 samples per frame, except 576 for MPEG-2 LSF Layer III.
  const uint32_t bytes_per_bit_rate = h.version == 0 && h.layer == 3 ? 72 : 144;
  return bitrate * bytes_per_bit_rate / f + h.padding;
}

// A whole frame: the header, then a body of `fill` bytes (the body's first bytes may be
// replaced with `body_start`).
inline Bytes make_frame(const HeaderBits& h, uint8_t fill = 0x55, const Bytes& body_start = {}) {
  Bytes out;
  append_word(out, header_word(h));
  out.resize(frame_length(h), fill);
  for (size_t i = 0; i < body_start.size() && 4 + i < out.size(); ++i) out[4 + i] = body_start[i];
  return out;
}

inline void append(Bytes& out, const Bytes& more) {
  for (uint8_t b : more) out.push_back(b);
}

// A file in the temporary directory, removed when the object goes.
class TempFile {
 public:
  explicit TempFile(const Bytes& contents) {
    static int serial = 0;
    path_ = (std::filesystem::temp_directory_path() /
             ("mpegin_bitstream_" + std::to_string(getpid()) + "_" + std::to_string(serial++) + ".mp2"))
                .string();
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f) {
      if (!contents.empty()) std::fwrite(contents.data(), 1, contents.size(), f);
      std::fclose(f);
    }
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

}  // namespace mpegin::bitstream_test
