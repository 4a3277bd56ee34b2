#include "module_delivery.h"

#include "host/dither.h"
#include "host/option_word.h"
#include "host/sample_conversion.h"
#include "platform/platform.h"

namespace mpegin::mpegdec {

namespace {
constexpr float kFromSixteenBitUnits = 1.0f / 32768.0f;   // a power of two: exact
}  // namespace

ModuleDelivery::ModuleDelivery(uint32_t word) {
  // The whole-frames bit alone leaves the rest to the stored options, then to the default.
  const uint32_t whole_frames = word & kWholeFramesBit;
  word &= ~kWholeFramesBit;
  if (word == 0) word = read_stored_option_word() & ~kWholeFramesBit;
  if (word == 0) word = kSetOptionsDefaultWord;
  word_ = word | whole_frames;
  width_ = delivered_width(word_);
  dither_ = option_dither(word_);
  gain_ = gain_from_decibels(applied_decibels(word_));
  gapless_ = !option_whole_frames(word_);
  dither_seed(platform::tick_count() % 50000u);
}

void ModuleDelivery::convert(const float* samples, uint32_t count, void* destination) const {
  uint32_t state = dither_state();
  convert(samples, count, destination, state);
  if (dither_) dither_seed(state);
}

void ModuleDelivery::convert(const float* samples, uint32_t count, void* destination,
                             uint32_t& state) const {
  if (width_ == 32) {
    scale_samples(static_cast<float*>(destination), samples, count, gain_, kFromSixteenBitUnits);
  } else if (dither_) {
    scale_and_convert_dithered(static_cast<int16_t*>(destination), samples, count, gain_, state);
  } else {
    convert_clipped(static_cast<int16_t*>(destination), samples, count, gain_);
  }
}

}  // namespace mpegin::mpegdec
