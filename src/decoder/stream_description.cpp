#include "decoder/stream_description.h"

#include <cstdio>

#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "bitstream/vbr_header.h"

namespace mpegin {

namespace {

void copy_text(char* destination, size_t size, const char* text) {
  std::snprintf(destination, size, "%s", text != nullptr ? text : "");
}

}  // namespace

bool read_first_audio_header(MpegFileReader& reader, FrameHeader& header, Crc16*& crc,
                             uint32_t& tagged_frames, EncoderTag* tag) {
  tagged_frames = 0;
  if (tag != nullptr) *tag = EncoderTag{};
  if (!header.read_header(reader, crc)) return false;
  uint32_t frames = 0;
  if (!read_vbr_header(reader, header, frames, tag)) return true;
  if (!header.read_header(reader, crc)) return false;
  tagged_frames = frames;
  return true;
}

uint64_t stream_frame_count(const FrameHeader& first, const MpegFileReader& reader,
                            uint32_t tagged_frames) {
  return tagged_frames != 0 ? tagged_frames : first.frame_count(reader);
}

void describe_stream(FrameHeader& first, const MpegFileReader& reader, uint32_t tagged_frames,
                     StreamInfo& info) {
  info.sample_rate = first.sample_rate();
  info.channel_count = static_cast<int32_t>(first.channel_count());
  info.mode = static_cast<int32_t>(first.mode);
  info.layer = static_cast<int32_t>(first.layer);
  info.version = static_cast<int32_t>(first.version);
  info.bitrate_index = static_cast<int32_t>(first.bitrate_index);
  info.frame_bytes = static_cast<int32_t>(first.compute_frame_size());
  info.duration_ms = tagged_frames != 0
                         ? static_cast<double>(first.ms_per_frame()) * static_cast<double>(tagged_frames)
                         : first.total_ms(reader);
  info.protected_stream = first.protection_bit == 0 ? 1 : 0;
  info.copyright = static_cast<int32_t>(first.copyright);
  info.original = static_cast<int32_t>(first.original);
  copy_text(info.bitrate_text, sizeof info.bitrate_text, first.bitrate_string());
  copy_text(info.version_text, sizeof info.version_text, first.version_string());
}

}  // namespace mpegin
