// What reading an input has met so far: concealed frames, a change of format, a change of
// sample rate that ended the stream.
#include <cstring>

#include "bitstream/frame_header.h"
#include "host/block_lock.h"
#include "host/input_instance.h"
#include "host/module_state.h"
#include "host/mpeginput.h"

static_assert(sizeof(MpegStreamEvents) == 80, "the layout hosts rely on");

namespace {

uint32_t milliseconds(uint64_t samples, int32_t sample_rate) {
  return sample_rate > 0 ? static_cast<uint32_t>((samples * 1000 + sample_rate / 2) / static_cast<uint64_t>(sample_rate))
                         : 0;
}

}  // namespace

extern "C" {

uint32_t MPEGIN_CALL MpegInputStreamEvents(MpegInputHandle handle, MpegStreamEvents* events) {
  if (events == nullptr || events->size < 8) return 0;
  mpegin::BlockLock<mpegin::InputInstance> instance(handle);
  mpegin::DecoderContext& context = mpegin::decoder_context();
  if (!instance || instance->context_open == 0 || !context.is_open()) return 0;

  const mpegin::DecodeEvents& seen = context.events();
  const mpegin::StreamInfo& info = instance->stream_info;
  const int32_t rate = info.sample_rate;
  MpegStreamEvents out{};
  out.concealed_frames = seen.concealed_frames;
  out.first_concealed_sample = seen.first_concealed_sample;
  out.format_change_sample = seen.format_change_sample;
  out.decoded_samples = seen.output_samples;
  // As FilterGetFileSize counts it, without its 2 GB limit.
  const double expected = static_cast<double>(rate) * info.duration_ms * 0.001 + 1e-6;
  out.expected_samples = expected > 0.0 ? static_cast<uint64_t>(expected) : 0;
  out.first_concealed_ms = milliseconds(seen.first_concealed_sample, rate);
  out.format_change_ms = milliseconds(seen.format_change_sample, rate);
  out.decoded_ms = milliseconds(seen.output_samples, rate);
  out.format_change_layer = seen.format_change_layer;
  out.format_change_channels = seen.format_change_channels;
  out.changed_rate = context.changed_rate();
  out.sample_rate = rate;
  out.first_layer = info.layer;
  out.first_channels = static_cast<int32_t>(mpegin::mode_channels(static_cast<uint32_t>(info.mode)));

  const uint32_t bytes = events->size < sizeof out ? events->size : static_cast<uint32_t>(sizeof out);
  out.size = bytes;
  std::memcpy(events, &out, bytes);
  return bytes;
}

}  // extern "C"
