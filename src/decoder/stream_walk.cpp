#include "decoder/stream_walk.h"

#include "bitstream/byte_source.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "decoder/frame_index.h"
#include "decoder/stream_description.h"

namespace mpegin {

namespace {

int32_t channels_of(const FrameHeader& header) { return static_cast<int32_t>(header.channel_count()); }

bool walk_reader(MpegFileReader& reader, StreamWalk& walk, FrameIndex* index) {
  if (!reader.is_open()) return false;
  FrameHeader header;
  Crc16* crc = nullptr;
  uint32_t tagged_frames = 0;
  if (!read_first_audio_header(reader, header, crc, tagged_frames)) return false;
  header.read_bodies = false;

  const uint32_t first_layer = header.layer;
  const int32_t first_channels = channels_of(header);
  const uint32_t first_bitrate = header.bitrate_index;
  walk.sample_rate = header.sample_rate();
  walk.max_channels = first_channels;
  do {
    const int32_t channels = channels_of(header);
    if (walk.change_frame == 0 && (header.layer != first_layer || channels != first_channels)) {
      walk.change_frame = walk.frames;
      walk.change_samples = walk.samples;
      walk.change_layer = static_cast<int32_t>(header.layer);
      walk.change_channels = channels;
    }
    if (channels > walk.max_channels) walk.max_channels = channels;
    const uint64_t offset = reader.position() - 4 - header.frame_bytes;
    if (index != nullptr && !index->note(walk.frames, offset, walk.samples)) index = nullptr;
    walk.variable_rate = walk.variable_rate || header.bitrate_index != first_bitrate;
    ++walk.frames;
    walk.samples += header.samples_per_frame();
    walk.bytes += uint64_t{header.frame_bytes} + 4;
  } while (header.read_header(reader, crc));
  walk.changed_rate = header.changed_sample_rate();
  return true;
}

}  // namespace

double StreamWalk::average_bitrate() const {
  return samples == 0 || sample_rate == 0
             ? 0.0
             : static_cast<double>(bytes) * 8.0 * sample_rate / static_cast<double>(samples);
}

double StreamWalk::duration_ms() const {
  return sample_rate == 0 ? 0.0 : static_cast<double>(samples) * 1000.0 / sample_rate;
}

bool walk_stream(const char* file_name, StreamWalk& walk) {
  walk = StreamWalk{};
  MpegFileReader reader(file_name);
  return walk_reader(reader, walk, nullptr);
}

bool walk_stream(std::unique_ptr<ByteSource> source, StreamWalk& walk, FrameIndex* index) {
  walk = StreamWalk{};
  if (index != nullptr) index->clear();
  if (source == nullptr) return false;
  MpegFileReader reader(std::move(source));
  return walk_reader(reader, walk, index);
}

}  // namespace mpegin
