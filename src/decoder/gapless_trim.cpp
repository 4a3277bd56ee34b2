#include "decoder/gapless_trim.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bitstream/vbr_header.h"

namespace mpegin {

void GaplessTrim::start(const EncoderTag& tag, uint64_t frames, uint32_t frame_samples, uint32_t channels) {
  const bool enabled = enabled_;
  reset();
  enabled_ = enabled;
  channels_ = channels == 2 ? 2 : 1;
  if (!tag.present || frames == 0 || frame_samples == 0) return;
  const uint64_t whole = frames * frame_samples;
  const uint64_t begin = uint64_t{tag.delay} + kDecoderDelay;
  const uint64_t cut = tag.padding > kDecoderDelay ? tag.padding - kDecoderDelay : 0;
  // A delay and padding that leave nothing of the stream are not to be trusted.
  if (begin + cut >= whole) return;
  tagged_ = true;
  whole_ = whole;
  begin_ = begin;
  end_ = whole - cut;
}

void GaplessTrim::reset() { *this = GaplessTrim{}; }

uint64_t GaplessTrim::samples() const {
  if (!tagged_) return 0;
  return enabled_ ? end_ - begin_ : whole_;
}

void GaplessTrim::trim(uint32_t frame_samples, const float*& samples, uint32_t& bytes) {
  const uint64_t first = position_;
  position_ += frame_samples;
  if (!tagged_ || !enabled_ || bytes == 0) return;
  const uint32_t sample_bytes = 4 * channels_;
  const uint64_t last = first + bytes / sample_bytes;
  // Frames past the tagged count (another stream appended, say) are not the padding: they
  // are kept whole.
  const uint64_t from = std::max(first, begin_);
  const uint64_t to = first >= whole_ ? last : std::min(last, end_);
  if (to <= from) {
    bytes = 0;
    return;
  }
  samples += (from - first) * channels_;
  bytes = static_cast<uint32_t>(to - from) * sample_bytes;
}

uint64_t GaplessTrim::delivered(uint64_t total) const {
  if (total == 0) total = whole_;
  if (!tagged_ || !enabled_) return total;
  // A file cut short ends inside the kept range; frames past the tagged count are kept whole.
  const uint64_t kept_end = std::min(total, end_);
  return (kept_end > begin_ ? kept_end - begin_ : 0) + (total > whole_ ? total - whole_ : 0);
}

void GaplessTrim::describe(StreamInfo& info, uint64_t total) const {
  if (tagged_) info.duration_ms = exact_duration_ms(delivered(total), info.sample_rate);
}

namespace {

// The next double above x (finite, >= 0), without the maths library.
double next_above(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  ++bits;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

}  // namespace

double exact_duration_ms(uint64_t samples, int32_t rate) {
  if (rate <= 0) return 0.0;
  const auto count = static_cast<double>(samples);
  const auto hz = static_cast<double>(rate);
  double ms = count * 1000.0 / hz;
  // The quotient may round below the count; a few steps up reach it.
  for (int step = 0; step < 8 && std::trunc(hz * ms * 0.001) < count; ++step)
    ms = next_above(ms);
  return ms;
}

}  // namespace mpegin
