// The C interface of the decoder library over DecoderContext.
#include "mpegaudio/mpegaudio.h"

#include <cstring>
#include <memory>
#include <new>

#include "bitstream/decode_status.h"
#include "bitstream/frame_header.h"
#include "bitstream/memory_source.h"
#include "bitstream/stream_source.h"
#include "decoder/decoder_context.h"
#include "decoder/stream_info.h"

struct mpegaudio_decoder {
  mpegin::DecoderContext context;
  mpegaudio_info info{};
  bool stream = false;
  // The last refusal's text: a fixed text or the context's status message.
  mutable const char* message = "";
};

namespace {

using mpegin::DecodeStatus;

constexpr unsigned kKnownFlags = MPEGAUDIO_NO_WALK | MPEGAUDIO_NO_GAPLESS;

int refuse(const mpegaudio_decoder* decoder, int status) {
  if (decoder != nullptr) decoder->message = mpegaudio_status_text(status);
  return status;
}

int status_of(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::kOk:
      return MPEGAUDIO_OK;
    case DecodeStatus::kCannotOpen:
      return MPEGAUDIO_CANNOT_OPEN;
    case DecodeStatus::kUnknownSampleFrequency:
      return MPEGAUDIO_UNKNOWN_SAMPLE_FREQUENCY;
    case DecodeStatus::kNoAudio:
      return MPEGAUDIO_NO_AUDIO;
    case DecodeStatus::kOutOfMemory:
      return MPEGAUDIO_OUT_OF_MEMORY;
    case DecodeStatus::kReadError:
      return MPEGAUDIO_READ_ERROR;
  }
  return MPEGAUDIO_NO_AUDIO;
}

// What the first frame and the walk tell, fixed at open.
void fill_info(mpegaudio_decoder& decoder) {
  mpegin::DecoderContext& context = decoder.context;
  mpegin::StreamInfo stream{};
  context.describe(stream);
  mpegaudio_info& info = decoder.info;
  info = mpegaudio_info{};
  info.sample_rate = stream.sample_rate;
  info.channels = stream.channel_count;
  info.layer = stream.layer;
  info.version = stream.version == 1 ? 1 : std::strcmp(stream.version_text, "MPEG-2.5") == 0 ? 25 : 2;
  info.mode = stream.mode;
  info.bitrate = static_cast<int32_t>(
      mpegin::bitrate_table[stream.version & 1][(stream.layer - 1) % 3][stream.bitrate_index & 15]);
  const mpegin::StreamWalk* walk = context.walk();
  info.variable_bitrate = walk != nullptr && walk->variable_rate ? 1 : 0;
  info.exact = walk != nullptr ? 1 : 0;
  info.frames = decoder.stream ? -1 : static_cast<int64_t>(context.frame_count());
  info.samples = decoder.stream ? -1 : static_cast<int64_t>(context.sample_count());
  const mpegin::EncoderTag& tag = context.encoder_tag();
  info.encoder_delay = tag.present ? static_cast<int32_t>(tag.delay) : 0;
  info.encoder_padding = tag.present ? static_cast<int32_t>(tag.padding) : 0;
}

int finish_open(mpegaudio_decoder* decoder, bool opened, unsigned flags) {
  if (!opened) {
    decoder->message = decoder->context.status().text();
    return status_of(decoder->context.status().code());
  }
  decoder->context.set_gapless((flags & MPEGAUDIO_NO_GAPLESS) == 0);
  fill_info(*decoder);
  decoder->message = "";
  return MPEGAUDIO_OK;
}

// The refusals every open shares; MPEGAUDIO_OK when the open may go on.
int check_open(mpegaudio_decoder* decoder, bool arguments_given, unsigned flags) {
  if (decoder == nullptr) return MPEGAUDIO_INVALID_ARGUMENT;
  if (!arguments_given || (flags & ~kKnownFlags) != 0) return refuse(decoder, MPEGAUDIO_INVALID_ARGUMENT);
  if (decoder->context.is_open()) return refuse(decoder, MPEGAUDIO_ALREADY_OPEN);
  return MPEGAUDIO_OK;
}

int open_source(mpegaudio_decoder* decoder, std::unique_ptr<mpegin::ByteSource> source, bool stream,
                unsigned flags) {
  decoder->stream = stream;
  const bool walk = !stream && (flags & MPEGAUDIO_NO_WALK) == 0;
  return finish_open(decoder, decoder->context.open(std::move(source), walk) == 1, flags);
}

}  // namespace

extern "C" {

int mpegaudio_api_version(void) { return MPEGAUDIO_API_VERSION; }

mpegaudio_decoder* mpegaudio_new(void) { return new (std::nothrow) mpegaudio_decoder(); }

void mpegaudio_delete(mpegaudio_decoder* decoder) { delete decoder; }

int mpegaudio_open_file(mpegaudio_decoder* decoder, const char* path, unsigned flags) {
  const int refused = check_open(decoder, path != nullptr, flags);
  if (refused != MPEGAUDIO_OK) return refused;
  decoder->stream = false;
  const bool opened = decoder->context.open(path, (flags & MPEGAUDIO_NO_WALK) == 0) == 1;
  return finish_open(decoder, opened, flags);
}

int mpegaudio_open_memory(mpegaudio_decoder* decoder, const void* data, size_t size, unsigned flags) {
  const int refused = check_open(decoder, data != nullptr || size == 0, flags);
  if (refused != MPEGAUDIO_OK) return refused;
  return open_source(decoder, std::unique_ptr<mpegin::ByteSource>(new (std::nothrow) mpegin::MemorySource(data, size)),
                     false, flags);
}

int mpegaudio_open_stream(mpegaudio_decoder* decoder, mpegaudio_read_fn read, void* user, unsigned flags) {
  const int refused = check_open(decoder, read != nullptr, flags);
  if (refused != MPEGAUDIO_OK) return refused;
  std::unique_ptr<mpegin::StreamSource> source(new (std::nothrow) mpegin::StreamSource(read, user));
  if (source == nullptr || !source->is_ready()) {
    decoder->message = mpegin::decode_status_text(DecodeStatus::kOutOfMemory);
    return MPEGAUDIO_OUT_OF_MEMORY;
  }
  return open_source(decoder, std::move(source), true, flags);
}

int mpegaudio_get_info(const mpegaudio_decoder* decoder, mpegaudio_info* info) {
  if (decoder == nullptr || info == nullptr) return refuse(decoder, MPEGAUDIO_INVALID_ARGUMENT);
  if (!decoder->context.is_open()) return refuse(decoder, MPEGAUDIO_NOT_OPEN);
  *info = decoder->info;
  return MPEGAUDIO_OK;
}

int mpegaudio_decode(mpegaudio_decoder* decoder, mpegaudio_frame* frame) {
  if (decoder == nullptr || frame == nullptr) return refuse(decoder, MPEGAUDIO_INVALID_ARGUMENT);
  *frame = mpegaudio_frame{};
  mpegin::DecoderContext& context = decoder->context;
  if (!context.is_open()) return refuse(decoder, MPEGAUDIO_NOT_OPEN);
  if (context.end_of_stream()) {
    if (!context.read_failed()) return MPEGAUDIO_END;
    decoder->message = mpegin::decode_status_text(DecodeStatus::kReadError);
    return MPEGAUDIO_READ_ERROR;
  }
  const mpegin::DecodeEvents before = context.events();
  frame->byte_offset = context.frame_offset();
  const float* samples = nullptr;
  const uint32_t bytes = context.decode_next_samples(samples);
  const mpegin::DecodeEvents& after = context.events();
  const int32_t channels = decoder->info.channels;
  frame->samples = samples;
  frame->sample_count = bytes / (4u * static_cast<uint32_t>(channels));
  frame->channels = channels;
  frame->sample_rate = decoder->info.sample_rate;
  frame->position = before.output_samples;
  if (after.concealed_frames != before.concealed_frames) frame->flags |= MPEGAUDIO_FRAME_CONCEALED;
  if (after.format_changes != before.format_changes) frame->flags |= MPEGAUDIO_FRAME_FORMAT_CHANGE;
  return MPEGAUDIO_OK;
}

int mpegaudio_seek_frame(mpegaudio_decoder* decoder, uint64_t frame) {
  if (decoder == nullptr) return MPEGAUDIO_INVALID_ARGUMENT;
  mpegin::DecoderContext& context = decoder->context;
  if (!context.is_open()) return refuse(decoder, MPEGAUDIO_NOT_OPEN);
  if (context.walk() == nullptr) return refuse(decoder, MPEGAUDIO_NOT_SEEKABLE);
  if (!context.seek_frame(frame) && !context.end_of_stream()) return refuse(decoder, MPEGAUDIO_NOT_SEEKABLE);
  if (context.end_of_stream() && frame < static_cast<uint64_t>(decoder->info.frames))
    return refuse(decoder, MPEGAUDIO_READ_ERROR);
  return MPEGAUDIO_OK;
}

int mpegaudio_uniform(const mpegaudio_decoder* decoder) {
  return decoder != nullptr && decoder->context.is_open() && decoder->context.uniform() ? 1 : 0;
}

int32_t mpegaudio_changed_rate(const mpegaudio_decoder* decoder) {
  return decoder != nullptr ? decoder->context.changed_rate() : 0;
}

const char* mpegaudio_message(const mpegaudio_decoder* decoder) {
  return decoder != nullptr ? decoder->message : mpegaudio_status_text(MPEGAUDIO_INVALID_ARGUMENT);
}

const char* mpegaudio_status_text(int status) {
  switch (status) {
    case MPEGAUDIO_OK:
      return "ok";
    case MPEGAUDIO_END:
      return "end of stream";
    case MPEGAUDIO_CANNOT_OPEN:
      return "cannot open";
    case MPEGAUDIO_UNKNOWN_SAMPLE_FREQUENCY:
      return "unknown sample frequency";
    case MPEGAUDIO_NO_AUDIO:
      return "no MPEG audio found";
    case MPEGAUDIO_OUT_OF_MEMORY:
      return "out of memory";
    case MPEGAUDIO_INVALID_ARGUMENT:
      return "invalid argument";
    case MPEGAUDIO_NOT_OPEN:
      return "not open";
    case MPEGAUDIO_ALREADY_OPEN:
      return "already open";
    case MPEGAUDIO_READ_ERROR:
      return "read error";
    case MPEGAUDIO_NOT_SEEKABLE:
      return "not seekable";
    default:
      return "unknown status";
  }
}

void mpegaudio_close(mpegaudio_decoder* decoder) {
  if (decoder == nullptr) return;
  decoder->context.close();
  decoder->info = mpegaudio_info{};
  decoder->stream = false;
  decoder->message = "";
}

}  // extern "C"
