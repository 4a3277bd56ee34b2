#include "decoder/decoder_context.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "bitstream/vbr_header.h"
#include "decoder/decoder_settings.h"
#include "decoder/pcm_buffer.h"
#include "layer3/layer3_decoder.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {

namespace {

constexpr uint32_t kSingleChannel = 3;

void copy_text(char* destination, size_t size, const char* text) {
  std::snprintf(destination, size, "%s", text != nullptr ? text : "");
}

}  // namespace

DecoderContext::DecoderContext() = default;

DecoderContext::~DecoderContext() { close(); }

bool DecoderContext::is_open() const { return reader_ != nullptr && header_ != nullptr; }

int DecoderContext::open(const char* file_name) {
  if (is_open() || file_name == nullptr) return 0;
  end_of_stream_ = false;
  reader_.reset(new (std::nothrow) MpegFileReader(file_name));
  header_.reset(new (std::nothrow) FrameHeader());
  Crc16* first_crc = nullptr;
  if (reader_ == nullptr || header_ == nullptr || !header_->read_header(*reader_, first_crc)) {
    close();
    return 0;
  }
  // An encoder's information frame is no audio: it gives the frame count, and the stream
  // starts with the frame after it.
  uint32_t tagged_frames = 0;
  if (read_vbr_header(*reader_, *header_, tagged_frames)) {
    if (!header_->read_header(*reader_, first_crc)) {
      close();
      return 0;
    }
    tagged_frames_ = tagged_frames;
  }
  // The first frame is decoded without a check.
  pending_crc_ = nullptr;
  current_layer_ = header_->layer;
  current_mode_ = header_->mode;
  single_channel_ = current_mode_ == kSingleChannel;

  filter0_.reset(new (std::nothrow) SynthesisFilter(0));
  if (!single_channel_) filter1_.reset(new (std::nothrow) SynthesisFilter(1));
  DecoderSettings& settings = decoder_settings();
  settings.header = header_.get();
  settings.single_channel = single_channel_;
  pcm_buffer_ = PcmBuffer::create(settings);
  if (filter0_ != nullptr && pcm_buffer_ != nullptr && current_layer_ == 3) create_layer3();

  const bool complete = filter0_ != nullptr && (single_channel_ || filter1_ != nullptr) &&
                        pcm_buffer_ != nullptr && (current_layer_ != 3 || layer3_ != nullptr);
  if (!complete) {
    close();
    return 0;
  }
  return 1;
}

int DecoderContext::describe(StreamInfo& info) {
  if (!is_open()) return 0;
  FrameHeader& header = *header_;
  info.sample_rate = header.sample_rate();
  info.channel_count = header.mode == kSingleChannel ? 1 : 2;
  info.mode = static_cast<int32_t>(header.mode);
  info.layer = static_cast<int32_t>(header.layer);
  info.version = static_cast<int32_t>(header.version);
  info.bitrate_index = static_cast<int32_t>(header.bitrate_index);
  info.frame_bytes = static_cast<int32_t>(header.compute_frame_size());
  // The frame count of an information frame is exact; without one the file size gives an
  // estimate.
  info.duration_ms = tagged_frames_ != 0 ? static_cast<double>(header.ms_per_frame()) * static_cast<double>(tagged_frames_)
                                         : header.total_ms(*reader_);
  info.protected_stream = header.protection_bit == 0 ? 1 : 0;
  info.copyright = static_cast<int32_t>(header.copyright);
  info.original = static_cast<int32_t>(header.original);
  copy_text(info.bitrate_text, sizeof info.bitrate_text, header.bitrate_string());
  copy_text(info.version_text, sizeof info.version_text, header.version_string());
  return 1;
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

  follow_layer_change();
  if (current_layer_ == 3) {
    decode_layer3_frame();
  } else if (current_layer_ == 1 || current_layer_ == 2) {
    decode_layer12_frame();
  }

  // Read ahead: the next header and its body. The frame just decoded is delivered
  // even when this ends the stream.
  if (!header_->read_header(*reader_, pending_crc_)) {
    end_of_stream_ = true;
    pending_crc_ = nullptr;
  }

  uint32_t length = 0;
  samples = pcm_buffer_->take(length);
  return length;
}

void DecoderContext::close() {
  release_decoders();
  if (reader_ != nullptr) reader_->close();
  reader_.reset();
  DecoderSettings& settings = decoder_settings();
  if (header_ != nullptr && settings.header == header_.get()) settings.header = nullptr;
  header_.reset();
  pending_crc_ = nullptr;
  end_of_stream_ = false;
  current_layer_ = 0;
  tagged_frames_ = 0;
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
  return tagged_frames_ != 0 ? tagged_frames_ : header_->frame_count(*reader_);
}

void DecoderContext::follow_layer_change() {
  const uint32_t layer = header_->layer;
  if (layer == current_layer_) return;
  if (layer == 3) {
    create_layer3();
  } else if (current_layer_ == 3) {
    layer3_.reset();
  }
  current_layer_ = layer;
}

void DecoderContext::create_layer3() {
  layer3_.reset(new (std::nothrow) Layer3Decoder(*reader_, *header_, *filter0_, filter1_.get(),
                                                 *pcm_buffer_, single_channel_ ? 1 : 0));
}

void DecoderContext::decode_layer3_frame() {
  // A decoder that could not be created at a layer change leaves the frame silent.
  if (layer3_ == nullptr) return;
  layer3_->decode_frame();
}

}  // namespace mpegin
