#include "layer12/coded_samples.h"

#include <cstdint>
#include <cstring>

#include "bitstream/bit_reader.h"
#include "bitstream/mpeg_file_reader.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

// The body's bits through a window cached in registers, the mask of the body ring a constant.
using BodyBits = CachedBits<MpegFileReader::kBodyMask>;

#if UINTPTR_MAX == 0xFFFFFFFFu
// The next n bits, n = 1..17, from a 32-bit window.
inline uint32_t take(BodyBits& bits, uint32_t n) {
  const uint32_t code = bits.direct(n) >> (32 - n);
  bits.consume(n);
  return code;
}
#else
// The next n bits, n = 1..17, from a 64-bit window.
inline uint32_t take(BodyBits& bits, uint32_t n) {
  const uint32_t code = static_cast<uint32_t>(bits.bits(n) >> (64 - n));
  bits.consume(n);
  return code;
}
#endif

}  // namespace

void CodedSamples::clear_silent_rows(Subbands& out, uint32_t slots) const {
  for (uint32_t channel = 0; channel < 2; ++channel) {
    for (uint32_t subband = 0; subband < 32; ++subband) {
      if ((rows_[channel] >> subband & 1) == 0) {
        std::memset(out.samples[channel][subband], 0, slots * sizeof(float));
      }
    }
  }
}

void CodedSamples::read_layer1_slots(MpegFileReader& body, uint32_t first, uint32_t count) {
  BitReader& reader = body.bits();
  BodyBits bits(reader);
  for (uint32_t slot = first; slot < first + count && slot < kLayer1Slots; ++slot) {
    for (uint32_t i = 0; i < set_count_; ++i) {
      codes_[i][slot] = static_cast<float>(take(bits, sets_[i].bits));
    }
  }
  reader.set_position(bits.position());
}

void CodedSamples::read_layer2_groups(MpegFileReader& body, uint32_t first, uint32_t count) {
  BitReader& reader = body.bits();
#if UINTPTR_MAX != 0xFFFFFFFFu
  // The 57 bits from the position hold a group of any class (at most 3 x 16 bits): up to
  // three codes come out with shifts and no test.
  BitReader bits = reader;
#else
  BodyBits bits(reader);
#endif
  for (uint32_t group = first; group < first + count && group < kLayer2Groups; ++group) {
    const uint32_t slot = 3 * group;
    for (uint32_t i = 0; i < set_count_; ++i) {
      const SampleSet& set = sets_[i];
      float* codes = codes_[i] + slot;
#if UINTPTR_MAX != 0xFFFFFFFFu
      const uint64_t window = bits.window();
      const uint32_t width = set.bits;  // 3..16
      const uint32_t shift = 64 - width;
      if (set.grouping != nullptr) {
        // The table has 2^bits entries: codes the stream may not carry are silent groups.
        const float* entry = set.grouping + 3 * static_cast<uint32_t>(window >> shift);
        codes[0] = entry[0];
        codes[1] = entry[1];
        codes[2] = entry[2];
        bits.skip(static_cast<int32_t>(width));
      } else {
        codes[0] = static_cast<float>(static_cast<uint32_t>(window >> shift));
        codes[1] = static_cast<float>(static_cast<uint32_t>((window << width) >> shift));
        codes[2] = static_cast<float>(static_cast<uint32_t>((window << 2 * width) >> shift));
        bits.skip(static_cast<int32_t>(3 * width));
      }
#else
      if (set.grouping != nullptr) {
        const float* entry = set.grouping + 3 * take(bits, set.bits);
        codes[0] = entry[0];
        codes[1] = entry[1];
        codes[2] = entry[2];
      } else {
        codes[0] = static_cast<float>(take(bits, set.bits));
        codes[1] = static_cast<float>(take(bits, set.bits));
        codes[2] = static_cast<float>(take(bits, set.bits));
      }
#endif
    }
  }
  reader.set_position(bits.position());
}

void CodedSamples::requantise(uint32_t first_slot, uint32_t slot_count, Subbands& out) const {
  const uint32_t end = first_slot + slot_count < kSlots ? first_slot + slot_count : kSlots;
  for (uint32_t i = 0; i < set_count_; ++i) {
    const SampleSet& set = sets_[i];
    const float* codes = codes_[i];
    float* first = out.samples[set.first_row][set.subband];
    float* second = set.both ? out.samples[1][set.subband] : nullptr;
    // Part by part (12 slots each), so that each pass has one scale factor per channel.
    for (uint32_t part = 0; part < 3; ++part) {
      const uint32_t from = first_slot > 12 * part ? first_slot : 12 * part;
      const uint32_t to = end < 12 * part + 12 ? end : 12 * part + 12;
      if (from >= to) continue;
      const float scale0 = set.scales[0][part];
      const float scale1 = set.scales[1][part];
      uint32_t t = from;
#if MPEGIN_SSE2
      // Four slots a step, the same operations in the same order.
      const __m128 factor = _mm_set1_ps(set.factor), offset = _mm_set1_ps(set.offset);
      const __m128 d = _mm_set1_ps(set.d), c = _mm_set1_ps(set.c);
      const __m128 scale_first = _mm_set1_ps(scale0);
      const auto value_at = [&](uint32_t at) {
        const __m128 fraction = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(codes + at), factor), offset);
        return _mm_mul_ps(_mm_add_ps(fraction, d), c);
      };
      // One loop for each case: with eight vector registers (32-bit x86) a test in the loop
      // costs a spilled constant.
      if (second == nullptr) {
        for (; t + 4 <= to; t += 4) _mm_storeu_ps(first + t, _mm_mul_ps(value_at(t), scale_first));
      } else {
        const __m128 scale_second = _mm_set1_ps(scale1);
        for (; t + 4 <= to; t += 4) {
          const __m128 value = value_at(t);
          _mm_storeu_ps(first + t, _mm_mul_ps(value, scale_first));
          _mm_storeu_ps(second + t, _mm_mul_ps(value, scale_second));
        }
      }
#endif
      for (; t < to; ++t) {
        const float value = ((codes[t] * set.factor + set.offset) + set.d) * set.c;
        first[t] = value * scale0;
        if (second != nullptr) second[t] = value * scale1;
      }
    }
  }
}

}  // namespace mpegin
