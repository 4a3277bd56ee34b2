#pragma once

#include <cstdint>

namespace mpegin {

class FrameHeader;
class MpegFileReader;

// What an encoder's extension after the Xing/Info header tells (the layout LAME writes, which
// other encoders copy): its name and version, the samples it put before and after the audio,
// and the ReplayGain it measured.
struct EncoderTag {
  bool present = false;
  char encoder[10] = {};      // e.g. "LAME3.100": 9 printable ASCII characters at most
  uint32_t delay = 0;         // encoder delay in samples per channel, 0..4095
  uint32_t padding = 0;       // samples per channel appended after the audio, 0..4095
  float peak = 0.0f;          // peak amplitude (1.0 full scale); 0 when not measured
  bool has_track_gain = false;
  bool has_album_gain = false;
  float track_gain_db = 0.0f;
  float album_gain_db = 0.0f;
};

// Encoders of variable-rate Layer III files put an information frame first: a frame whose
// body holds a Xing (or "Info") header after the side information, or a VBRI header 32 bytes
// into the body, in place of audio. It tells the number of audio frames in the file.
//
// True when the current frame (header and body read) is such a frame; `frames` then holds
// the number of audio frames it gives, or 0 when it gives none. When `tag` is given it
// receives the encoder extension of a Xing/Info header (present false without one).
bool read_vbr_header(const MpegFileReader& reader, const FrameHeader& header, uint32_t& frames,
                     EncoderTag* tag = nullptr);

}  // namespace mpegin
