#include "decoder/decoder_context.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "bitstream/byte_source.h"
#include "bitstream/crc16.h"
#include "bitstream/file_source.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "bitstream/vbr_header.h"
#include "decoder/pcm_buffer.h"
#include "decoder/stream_description.h"
#include "decoder/stream_walk.h"
#include "layer3/layer3_decoder.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {

DecoderContext::DecoderContext() = default;

DecoderContext::~DecoderContext() { close(); }

bool DecoderContext::is_open() const { return reader_ != nullptr && header_ != nullptr; }

int DecoderContext::open(const char* file_name, bool walk_headers) {
  if (is_open()) return 0;
  std::unique_ptr<FileSource> file;
  if (file_name != nullptr) file.reset(new (std::nothrow) FileSource(file_name));
  if (file == nullptr || !file->is_open()) {
    status_.set(DecodeStatus::kCannotOpen, file_name);
    return 0;
  }
  return open(std::move(file), walk_headers);
}

int DecoderContext::open(std::unique_ptr<ByteSource> source, bool walk_headers) {
  if (is_open()) return 0;
  status_.clear();
  end_of_stream_ = false;
  reader_.reset(source != nullptr ? new (std::nothrow) MpegFileReader(std::move(source)) : nullptr);
  header_.reset(new (std::nothrow) FrameHeader());
  // The check-word accumulator is made now, not at the first protected frame in mid-stream.
  if (header_ != nullptr) header_->crc.reset(new (std::nothrow) Crc16());
  Crc16* first_crc = nullptr;
  uint32_t tagged_frames = 0;
  if (reader_ == nullptr || header_ == nullptr ||
      !read_first_audio_header(*reader_, *header_, first_crc, tagged_frames, &encoder_tag_)) {
    if (reader_ == nullptr || header_ == nullptr) {
      status_.set(DecodeStatus::kOutOfMemory);
    } else if (reader_->status().code() != DecodeStatus::kOk) {
      status_ = reader_->status();
    } else if (reader_->read_failed()) {
      status_.set(DecodeStatus::kReadError);
    } else {
      const DecodeStatus found = header_->status();
      status_.set(found != DecodeStatus::kOk ? found : DecodeStatus::kNoAudio);
    }
    close();
    return 0;
  }
  tagged_frames_ = tagged_frames;
  frame_offset_ = reader_->position() - 4 - header_->frame_bytes;
  walked_ = walk_headers && walk_stream(reader_->reopen_source(), walk_, &index_);
  // The first frame is decoded without a check.
  pending_crc_ = nullptr;
  current_layer_ = header_->layer;
  frame_channels_ = header_->channel_count();
  single_channel_ = walked_ ? walk_.max_channels == 1 : frame_channels_ == 1;
  gapless_.start(encoder_tag_, tagged_frames, header_->samples_per_frame(), single_channel_ ? 1 : 2);
  concealed_slots_ = 0;
  layer3_checks_pass_ = false;
  events_ = DecodeEvents{};

  filter0_.reset(new (std::nothrow) SynthesisFilter(0));
  if (!single_channel_) filter1_.reset(new (std::nothrow) SynthesisFilter(1));
  pcm_buffer_ = PcmBuffer::create(*header_, single_channel_ ? 1 : 2);
  if (filter0_ != nullptr && pcm_buffer_ != nullptr && current_layer_ == 3) create_layer3();

  const bool complete = filter0_ != nullptr && (single_channel_ || filter1_ != nullptr) &&
                        pcm_buffer_ != nullptr && (current_layer_ != 3 || layer3_ != nullptr);
  if (!complete) {
    status_.set(DecodeStatus::kOutOfMemory);
    close();
    return 0;
  }
  return 1;
}

int DecoderContext::describe(StreamInfo& info) {
  if (!is_open()) return 0;
  describe_stream(*header_, *reader_, tagged_frames_, info);
  info.channel_count = single_channel_ ? 1 : 2;
  if (walked_) info.duration_ms = walk_.duration_ms();
  gapless_.describe(info, walked_ ? walk_.samples : 0);
  return 1;
}

int32_t DecoderContext::changed_rate() const {
  return header_ != nullptr && end_of_stream_ ? header_->changed_sample_rate() : 0;
}

uint32_t DecoderContext::decode_next(void* destination) {
  const float* samples = nullptr;
  const uint32_t length = decode_next_samples(samples);
  if (destination != nullptr && length != 0) std::memcpy(destination, samples, length);
  return length;
}

uint32_t DecoderContext::decode_next_samples(const float*& samples) {
  samples = nullptr;
  if (!is_open() || end_of_stream_) return 0;

  follow_format_change();
  const uint32_t frame_samples = header_->samples_per_frame();
  if (current_layer_ == 3) {
    decode_layer3_frame();
  } else if (current_layer_ == 1 || current_layer_ == 2) {
    decode_layer12_frame();
  }
  if (frame_channels_ == 1 && !single_channel_) pcm_buffer_->copy_first_channel();

  // Read ahead: the next header and its body. The frame just decoded is delivered
  // even when this ends the stream.
  if (header_->read_header(*reader_, pending_crc_)) {
    frame_offset_ = reader_->position() - 4 - header_->frame_bytes;
  } else {
    end_of_stream_ = true;
    pending_crc_ = nullptr;
  }

  uint32_t length = 0;
  samples = pcm_buffer_->take(length);
  gapless_.trim(frame_samples, samples, length);
  events_.output_samples += length / (single_channel_ ? 4u : 8u);
  return length;
}

void DecoderContext::close() {
  release_decoders();
  if (reader_ != nullptr) reader_->close();
  reader_.reset();
  header_.reset();
  pending_crc_ = nullptr;
  end_of_stream_ = false;
  current_layer_ = 0;
  tagged_frames_ = 0;
  encoder_tag_ = EncoderTag{};
  frame_offset_ = 0;
  gapless_.reset();
  walked_ = false;
  index_.clear();
}

void DecoderContext::release_decoders() {
  // The Layer III decoder refers to the filters and the buffer: it goes first.
  layer3_.reset();
  pcm_buffer_.reset();
  filter0_.reset();
  filter1_.reset();
}

uint64_t DecoderContext::frame_count() const {
  if (!is_open()) return 0;
  if (walked_) return walk_.frames;
  return stream_frame_count(*header_, *reader_, tagged_frames_);
}

uint64_t DecoderContext::sample_count() const {
  if (!is_open()) return 0;
  if (walked_) return gapless_.delivered(walk_.samples);
  if (gapless_.tagged()) return gapless_.delivered(0);
  return frame_count() * header_->samples_per_frame();
}

bool DecoderContext::read_failed() const { return reader_ != nullptr && reader_->read_failed(); }

void DecoderContext::follow_format_change() {
  const uint32_t layer = header_->layer;
  const uint32_t channels = header_->channel_count();
  if (layer == current_layer_ && channels == frame_channels_) return;
  ++events_.format_changes;
  if (events_.format_change_layer == 0) {
    events_.format_change_sample = events_.output_samples;
    events_.format_change_layer = static_cast<int32_t>(layer);
    events_.format_change_channels = static_cast<int32_t>(channels);
  }
  // No sample of the new format may come from the state of the old one: the filter banks
  // start from silence, and nothing stands in for a damaged frame yet.
  filter0_->reset();
  if (filter1_ != nullptr) filter1_->reset();
  concealed_slots_ = 0;
  frame_channels_ = channels;
  if (layer == 3 && current_layer_ != 3) {
    create_layer3();
  } else if (layer != 3) {
    layer3_.reset();
  } else if (layer3_ != nullptr) {
    layer3_->follow_channels();  // the reservoir's bytes stay: later frames may reach back
  }
  current_layer_ = layer;
}

void DecoderContext::note_concealed_frame() {
  if (events_.concealed_frames++ == 0) events_.first_concealed_sample = events_.output_samples;
}

void DecoderContext::create_layer3() {
  // A one-channel output mixes two-channel frames down.
  layer3_.reset(new (std::nothrow) Layer3Decoder(*reader_, *header_, *filter0_, filter1_.get(),
                                                 *pcm_buffer_, single_channel_));
}

void DecoderContext::decode_layer3_frame() {
  // A decoder that could not be created at a layer change leaves the frame without samples.
  if (layer3_ == nullptr) return;
  // The check word covers the header's last 16 bits and the side information. Some encoders
  // write wrong check words into every Layer III frame: failures count only once a check word
  // of the stream has passed, so such a file still decodes.
  bool intact = true;
  if (pending_crc_ != nullptr) {
    const uint32_t side_bytes = layer3_side_info_bytes(header_->version, frame_channels_);
    for (uint32_t i = 0; i < side_bytes; ++i) pending_crc_->feed(reader_->body_byte(2 + i), 8);
    const bool passed = pending_crc_->value == header_->crc_read;
    pending_crc_->value = 0xFFFF;
    layer3_checks_pass_ = layer3_checks_pass_ || passed;
    intact = passed || !layer3_checks_pass_;
  }
  if (!layer3_->decode_frame(intact)) note_concealed_frame();
}

}  // namespace mpegin
