#pragma once

#include <cstdint>
#include <memory>

#include "bitstream/crc16.h"
#include "bitstream/decode_status.h"

namespace mpegin {

class MpegFileReader;

// frequency_table[version][sample_frequency] in Hz (index 3 is a placeholder of 1). MPEG-2.5
// streams run at half the LSF row.
extern const int32_t frequency_table[2][4];
// bitrate_table[version][layer - 1][bitrate_index] in bit/s (0 for indexes 0 and 15).
extern const uint32_t bitrate_table[2][3][16];
// bitrate_strings[version][layer - 1][bitrate_index], e.g. "128 kbit/s", "free format".
extern const char* const bitrate_strings[2][3][16];
// ms_per_frame_table[layer - 1][sample_frequency] in milliseconds (both versions).
extern const float ms_per_frame_table[3][3];

// The channel mode of a single-channel frame (the others are stereo, joint stereo and dual
// channel).
constexpr uint32_t kSingleChannelMode = 3;
// Channels a frame of the given channel mode carries: 1 or 2.
constexpr uint32_t mode_channels(uint32_t mode) { return mode == kSingleChannelMode ? 1 : 2; }

// Bytes of Layer III side information in a frame of the given version (1 MPEG-1, 0 LSF or
// MPEG-2.5) and channel count: 17 or 32 for MPEG-1, 9 or 17 otherwise.
constexpr uint32_t layer3_side_info_bytes(uint32_t version, uint32_t channels) {
  return version == 1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
}

// The 32-bit header of the current frame and the values derived from it.
class FrameHeader {
 public:
  FrameHeader() = default;
  FrameHeader(const FrameHeader&) = delete;
  FrameHeader& operator=(const FrameHeader&) = delete;

  // Finds the next header, parses it and reads its body. For a protected frame `crc_out`
  // receives the header's accumulator, reset and fed with header bits 15..0; otherwise null.
  // False at the end of the stream or when the file has no first frame.
  //
  // The first header of a stream is searched after any ID3v2 tags and is taken only when it
  // is confirmed: a header that later frames would match follows at its frame length, or
  // the audio ends exactly there. Other candidates (junk, sync patterns inside tag data) are
  // passed over. A free-format first header (bitrate index 0) takes its frame length from
  // the distance to the next free-format header of the same kind that the three headers
  // after it confirm.
  //
  // Later headers may change the layer and the channel mode; ID3v2 tags between frames (files
  // joined end to end) are passed over. A header found past bytes that are no frame, with
  // another channel count than the last frame's, is taken only when the next header follows
  // at its length. A header of another version or sampling frequency that the one after it
  // confirms ends the stream: read_header returns false and changed_header holds it.
  bool read_header(MpegFileReader& reader, Crc16*& crc_out);
  // Why the last search for a first header failed: kUnknownSampleFrequency when the first sync
  // of the file carried the reserved sampling frequency and nothing after it could be decoded
  // (its text is decode_status_text's); else kOk.
  DecodeStatus status() const { return status_; }

  // Recomputes frame_bytes and main_data_bytes from the fields; returns frame_bytes
  // (0 when the header has no frame length).
  uint32_t compute_frame_size();

  const char* bitrate_string() const;
  const char* version_string() const;
  // Estimated number of frames in the audio (from the first header to the end of the audio,
  // before any trailing tags), using this header's frame length throughout.
  uint64_t frame_count(const MpegFileReader& reader) const;
  float ms_per_frame() const;
  // Samples per channel a frame of this layer and version holds: 384, 1152, or 576 for LSF
  // and MPEG-2.5 Layer III; 0 for the reserved layer.
  uint32_t samples_per_frame() const;
  // Bytes of Layer III side information in this frame.
  uint32_t side_info_bytes() const { return layer3_side_info_bytes(version, channel_count()); }
  // Channels this frame carries: 1 or 2.
  uint32_t channel_count() const { return mode_channels(mode); }
  double total_ms(const MpegFileReader& reader) const;
  // Sampling frequency in Hz.
  int32_t sample_rate() const;
  // The sampling frequency in Hz of changed_header; 0 when the stream has not changed rate.
  int32_t changed_sample_rate() const;

  uint32_t layer = 0;             // 1, 2, 3
  uint32_t protection_bit = 0;    // 0: a 16-bit check word follows the header
  uint32_t bitrate_index = 0;
  uint32_t padding = 0;
  uint32_t private_bit = 0;
  uint32_t mode_extension = 0;
  uint32_t version = 0;           // 1 MPEG-1, 0 MPEG-2 LSF or MPEG-2.5 (from the first header)
  // MPEG-2.5 (version bits 00, from the first header): Layer III only, at half the LSF
  // sampling frequencies (11025, 12000, 8000 Hz); everything else is as for LSF.
  bool mpeg25 = false;
  uint32_t mode = 0;              // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  uint32_t sample_frequency = 0;  // index 0..2 (from the first header)
  uint32_t subband_count = 0;     // subbands coded by Layers I and II
  uint32_t intensity_bound = 0;   // first joint-stereo subband; 0 unless mode is 1
  uint32_t copyright = 0;
  uint32_t original = 0;
  uint32_t emphasis = 0;
  bool header_seen = false;
  std::unique_ptr<Crc16> crc;     // created on the first protected frame
  uint32_t crc_read = 0;          // check word of the current protected frame
  uint32_t frame_bytes = 0;       // frame length minus the 4 header bytes
  uint32_t main_data_bytes = 0;   // Layer III main data bytes; 0 for other layers
  // Free-format streams: the unpadded frame length, header included, measured at the first
  // header; 0 for streams with a bit rate in the header.
  uint32_t free_format_bytes = 0;
  // The header where the stream changed its version or sampling frequency; 0 before that.
  uint32_t changed_header = 0;
  // False for a walk over the headers: bodies are passed over, not read (no CRC either).
  bool read_bodies = true;

  // The bit rate of one channel of a free-format Layer II frame as the single-channel bit rate
  // index of that rate (1 to 5 for 32 to 80 kbit/s, 6 above): the allocation tables follow it.
  uint32_t free_format_channel_index() const;

 private:
  void decode_fields(uint32_t header_word);
  bool find_first_header(MpegFileReader& reader, uint32_t& header_word);
  bool confirm_first_header(MpegFileReader& reader, uint32_t header_word);
  bool free_format_chain(MpegFileReader& reader, uint32_t h, uint32_t at, uint32_t length);
  bool rate_changes_at(MpegFileReader& reader, uint32_t h);
  bool find_later_header(MpegFileReader& reader, uint32_t& h);
  bool confirmed_by_next(MpegFileReader& reader, uint32_t h) const;
  // The body length of header h in a stream of the given version and sampling frequency; 0
  // when it has none or more than the frame buffer takes.
  static uint32_t body_length(uint32_t h, uint32_t version, uint32_t sample_frequency,
                              uint32_t free_format_bytes);
  static bool followed_at(MpegFileReader& reader, uint32_t h, uint32_t body, bool free_format);
  uint32_t compute_subband_count() const;
  uint32_t set_lengths(uint32_t length);

  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace mpegin
