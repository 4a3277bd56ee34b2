#pragma once

#include <cstdint>

namespace mpegin {

// Description of an open stream, taken from its current (at open: first) frame header.
// Plain data: the host embeds it in its per-file record.
struct StreamInfo {
  int32_t sample_rate;       // Hz
  int32_t channel_count;     // 1 for single channel, else 2
  int32_t mode;              // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int32_t layer;             // 1, 2 or 3
  int32_t version;           // 1 MPEG-1, 0 MPEG-2 LSF or MPEG-2.5
  int32_t bitrate_index;     // 0..15
  int32_t frame_bytes;       // frame length after the 4-byte header
  double duration_ms;        // duration of the whole file: exact with an encoder's frame
                             // count (and gapless length), else estimated
  int32_t protected_stream;  // 1 when frames carry a CRC check word
  int32_t copyright;
  int32_t original;
  char bitrate_text[48];     // e.g. "128 kbit/s", "free format"
  char version_text[20];     // "MPEG-1", "MPEG-2 LSF" or "MPEG-2.5"
};

}  // namespace mpegin
