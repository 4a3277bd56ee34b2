// The input side of the module: open a file, deliver one frame per read, report sizes and
// formats, close.
#include <new>

#include "host/block_lock.h"
#include "host/dither.h"
#include "host/input_instance.h"
#include "host/module_state.h"
#include "host/mpeginput.h"
#include "host/option_word.h"
#include "host/sample_conversion.h"

using mpegin::BlockLock;
using mpegin::InputInstance;
namespace platform = mpegin::platform;

namespace {

template <class T>
void store(T* destination, T value) {
  if (destination != nullptr) *destination = value;
}

// The samples of the next frame that has any. A host reads until a read returns 0, so a frame
// that yields nothing (a failed check word, Layer III main data that lies before the start of
// the file) must not end its stream: such frames are passed over. Each call consumes a frame,
// so this ends at the end of the file.
uint32_t next_frame_samples(mpegin::DecoderContext& context, const float*& samples) {
  uint32_t n = 0;
  do {
    n = context.decode_next_samples(samples);
  } while (n == 0 && context.is_open() && !context.end_of_stream());
  return n;
}

}  // namespace

extern "C" {

MpegInputHandle MPEGIN_CALL OpenFilterInput(const char* file_name, int32_t* sample_rate, int16_t* bits_per_sample,
                                            int16_t* channels, int32_t, int32_t* value_out) {
  mpegin::DecoderContext& context = mpegin::decoder_context();
  // One input at a time: the decoder context is process-wide. A second open is refused
  // without touching the open one.
  if (file_name == nullptr || context.is_open()) return nullptr;

  mpegin::dither_seed(platform::tick_count() % 50000u);
  // Only files on disk: a pipe or a device could block the decoder or never end.
  const platform::FileHandle probe = platform::legacy_open(file_name, platform::kOpenRead);
  if (probe == platform::kFileError) return nullptr;
  const bool disk_file = platform::legacy_is_disk_file(probe);
  platform::legacy_close(probe);
  if (!disk_file) return nullptr;

  platform::MemoryHandle handle = platform::global_alloc(mpegin::kInstanceFlags, mpegin::kInputInstanceBytes);
  if (handle == nullptr) return nullptr;
  void* memory = platform::global_lock(handle);
  if (memory == nullptr) {
    platform::global_free(handle);
    return nullptr;
  }
  auto* instance = new (memory) InputInstance{};
  instance->gain_db = 0.0;
  instance->option_word = 0;
  instance->dither = 0;
  instance->sample_width = 32;
  instance->gain = 32768.0f;

  store<int32_t>(sample_rate, 44100);
  store<int16_t>(bits_per_sample, 32);
  store<int16_t>(channels, 2);
  store<int32_t>(value_out, MPEGIN_OPEN_VALUE);

  instance->context_open = context.open(file_name);
  if (instance->context_open == 0) {
    platform::global_unlock(handle);
    platform::global_free(handle);
    return nullptr;
  }
  context.describe(instance->stream_info);
  const mpegin::StreamInfo& info = instance->stream_info;
  store<int32_t>(sample_rate, info.sample_rate);
  store<int16_t>(channels, static_cast<int16_t>(info.channel_count));

  const int16_t width = mpegin::reported_width(mpegin::read_stored_option_word());
  store<int16_t>(bits_per_sample, width);
  instance->sample_width = width;
  instance->decoded_size = mpegin::decoded_size(info.sample_rate, info.duration_ms, width, info.channel_count);

  platform::global_unlock(handle);
  return handle;
}

int32_t MPEGIN_CALL ReadFilterInput(MpegInputHandle handle, void* buffer, int32_t) {
  BlockLock<InputInstance> instance(handle);
  if (!instance || buffer == nullptr) return 0;
  mpegin::DecoderContext& context = mpegin::decoder_context();
  const float gain = instance->gain;

  // The decoder's samples are scaled or converted straight into the host's buffer.
  const float* samples = nullptr;
  if (instance->sample_width == 32) {
    const uint32_t n = next_frame_samples(context, samples);
    if (n >= 4) mpegin::scale_samples(static_cast<float*>(buffer), samples, n / 4, gain);
    return static_cast<int32_t>(n);
  }
  if (instance->sample_width != 16) return 0;

  // A host that reads 16-bit data before any options call finds no side buffer yet.
  if (!mpegin::ensure_side_buffer(*instance.get())) return 0;
  const uint32_t n = next_frame_samples(context, samples);
  const uint32_t k = n / 4;
  auto* output = static_cast<int16_t*>(buffer);
  if (instance->dither != 0) {
    mpegin::scale_and_convert_dithered(output, samples, k, gain);
  } else {
    mpegin::convert_clipped(output, samples, k, gain);
  }
  return static_cast<int32_t>(n / 2);
}

void MPEGIN_CALL CloseFilterInput(MpegInputHandle handle) {
  void* memory = handle != nullptr ? platform::global_lock(handle) : nullptr;
  if (memory == nullptr) return;
  auto* instance = static_cast<InputInstance*>(memory);
  if (instance->context_open != 0) mpegin::decoder_context().close();
  if (instance->side_buffer_handle != nullptr) {
    platform::global_unlock(instance->side_buffer_handle);
    platform::global_free(instance->side_buffer_handle);
  }
  platform::global_unlock(handle);
  platform::global_free(handle);
}

int32_t MPEGIN_CALL FilterGetFileSize(MpegInputHandle handle) {
  BlockLock<InputInstance> instance(handle);
  return instance ? instance->decoded_size : 0;
}

// The width that reads of the handle deliver. The format word passed in is not consulted: the
// word last applied decides (a word of 0 given to FilterSetOptions2 applies the stored or
// 16-bit default, and reads then deliver 16 bits whatever the caller passes here).
int32_t MPEGIN_CALL FilterGetActualFormat(MpegInputHandle handle, uint32_t, int32_t, int32_t,
                                          int16_t* bits_per_sample) {
  BlockLock<InputInstance> instance(handle);
  if (instance) store<int16_t>(bits_per_sample, instance->sample_width);
  return 1;
}

int32_t MPEGIN_CALL GetSuggestedSampleType(int32_t* sample_rate, int16_t* bits_per_sample, int16_t* channels) {
  const uint32_t word = mpegin::read_stored_option_word();
  store<int32_t>(sample_rate, 0);
  store<int16_t>(bits_per_sample, mpegin::reported_width(word));
  store<int16_t>(channels, 0);
  return static_cast<int32_t>(mpegin::option_width_byte(word));
}

}  // extern "C"
