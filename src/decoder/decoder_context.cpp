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
#include "decoder/stream_description.h"
#include "layer3/layer3_decoder.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {

namespace {

constexpr uint32_t kSingleChannel = 3;

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
  uint32_t tagged_frames = 0;
  EncoderTag encoder_tag;
  if (reader_ == nullptr || header_ == nullptr ||
      !read_first_audio_header(*reader_, *header_, first_crc, tagged_frames, &encoder_tag)) {
    close();
    return 0;
  }
  tagged_frames_ = tagged_frames;
  gapless_.start(encoder_tag, tagged_frames, header_->samples_per_frame(), header_->mode == kSingleChannel ? 1 : 2);
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
  describe_stream(*header_, *reader_, tagged_frames_, info);
  gapless_.describe(info);
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
  const uint32_t frame_samples = header_->samples_per_frame();
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
  gapless_.trim(frame_samples, samples, length);
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
  gapless_.reset();
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
  return stream_frame_count(*header_, *reader_, tagged_frames_);
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
