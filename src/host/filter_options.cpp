// The options calls: running the dialog, applying an OptionWord to an instance, reading it
// back and describing the open stream.
#include "decoder/decoder_context.h"
#include "host/block_lock.h"
#include "host/input_instance.h"
#include "host/module_state.h"
#include "host/mpeginput.h"
#include "host/option_word.h"
#include "host/options_dialog.h"

using mpegin::BlockLock;
using mpegin::InputInstance;
namespace platform = mpegin::platform;

namespace {

// Gapless length or whole frames; the duration, and so the decoded size, follows (it changes
// only for a stream with an encoder tag).
void set_gapless(InputInstance& instance, bool on) {
  mpegin::DecoderContext& context = mpegin::decoder_context();
  if (instance.context_open == 0 || context.gapless() == on) return;
  context.set_gapless(on);
  if (!context.gapless_tagged()) return;
  mpegin::StreamInfo info{};
  if (context.describe(info) != 0) instance.stream_info.duration_ms = info.duration_ms;
}

// Applies word to the instance (not 0: the callers resolve that) and returns the width it
// delivers from now on.
int16_t apply_word(InputInstance& instance, uint32_t word) {
  instance.option_word = word;
  instance.sample_width = mpegin::delivered_width(word);
  instance.dither = mpegin::option_dither(word) ? 1 : 0;
  instance.gain_db = mpegin::applied_decibels(word);
  if (instance.sample_width == 16) mpegin::ensure_side_buffer(instance);
  instance.gain = mpegin::gain_from_decibels(instance.gain_db);
  set_gapless(instance, !mpegin::option_whole_frames(word));
  return instance.sample_width;
}

}  // namespace

extern "C" {

uint32_t MPEGIN_CALL FilterGetOptions(MpegWindowHandle parent_window, MpegModuleHandle module_instance, int32_t,
                                      int32_t, int32_t, uint32_t current_word) {
  const auto procedure = reinterpret_cast<platform::DialogProc>(
      platform::procedure_by_ordinal(module_instance, MPEGIN_ORDINAL_DIALOGMsgProc));
  if (procedure == nullptr) return 0;
  if (current_word == 0) current_word = mpegin::read_stored_option_word();
  if (current_word == 0) current_word = mpegin::kDialogDefaultWord;
  const platform::DialogResult result = platform::dialog_box_param(
      module_instance, mpegin::kOptionsDialogTemplate, parent_window, procedure, static_cast<platform::LParam>(current_word));
  // A dialog that could not be shown chose nothing.
  if (result == platform::kDialogFailed || result == 0) return 0;
  const auto word = static_cast<uint32_t>(result);
  // The host applies the chosen word whether or not it could be stored; the last error tells
  // which: 0 when stored, otherwise why not.
  if (mpegin::store_option_word(word)) platform::set_last_error(0);
  return word;
}

uint32_t MPEGIN_CALL FilterOptions(MpegInputHandle handle) {
  BlockLock<InputInstance> instance(handle);
  return instance ? instance->option_word : 0;
}

uint32_t MPEGIN_CALL FilterOptionsString(MpegInputHandle handle, char* text) {
  BlockLock<InputInstance> instance(handle);
  if (!instance) return 0;
  if (text != nullptr) {
    const mpegin::StreamInfo& info = instance->stream_info;
    platform::format_text(text, "%.20s Layer %d\r\n(%.48s)", info.version_text, static_cast<int>(info.layer),
                          info.bitrate_text);
  }
  return instance->option_word;
}

uint32_t MPEGIN_CALL FilterSetOptions(MpegInputHandle handle, uint32_t word, int32_t sample_rate, int32_t channels,
                                      int32_t bits_per_sample) {
  BlockLock<InputInstance> instance(handle);
  if (!instance) return 0;
  const uint32_t previous = instance->option_word;
  apply_word(*instance.get(), word);
  instance->decoded_size = mpegin::decoded_size(sample_rate, instance->stream_info.duration_ms,
                                                static_cast<int16_t>(bits_per_sample), static_cast<int16_t>(channels));
  return previous;
}

uint32_t MPEGIN_CALL FilterSetOptions2(MpegInputHandle handle, uint32_t word, int32_t* sample_rate, int16_t* channels,
                                       int16_t* bits_per_sample) {
  BlockLock<InputInstance> instance(handle);
  if (!instance) return 0;
  const uint32_t previous = instance->option_word;
  // The whole-frames bit alone leaves the rest to the stored options.
  const uint32_t whole_frames = word & mpegin::kWholeFramesBit;
  word &= ~mpegin::kWholeFramesBit;
  if (word == 0) word = mpegin::read_stored_option_word() & ~mpegin::kWholeFramesBit;
  if (word == 0) word = mpegin::kSetOptionsDefaultWord;
  word |= whole_frames;
  const int16_t width = apply_word(*instance.get(), word);
  if (bits_per_sample != nullptr) *bits_per_sample = width;
  const mpegin::StreamInfo& info = instance->stream_info;
  const int32_t rate = sample_rate != nullptr ? *sample_rate : info.sample_rate;
  const int32_t channel_count = channels != nullptr ? *channels : info.channel_count;
  instance->decoded_size = mpegin::decoded_size(rate, info.duration_ms, width, channel_count);
  return previous;
}

}  // extern "C"
