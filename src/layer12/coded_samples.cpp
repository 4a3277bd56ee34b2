#include "layer12/coded_samples.h"

#include <cstdint>
#include <cstring>

#include "bitstream/big_endian.h"
#include "bitstream/bit_reader.h"
#include "bitstream/mpeg_file_reader.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

using SampleSet = CodedSamples::SampleSet;

// The 57 bits from `position` of the body ring, the first in the most significant place: any
// one code, or a Layer II group of any class (at most 3 x 16 bits).
inline uint64_t window_at(const uint8_t* bytes, uint32_t position) {
  return load_big_endian64(bytes + ((position >> 3) & MpegFileReader::kBodyMask)) << (position & 7u);
}

#if UINTPTR_MAX == 0xFFFFFFFFu
// 32-bit targets take every code (1..16 bits) from a 32-bit window of its own, with no 64-bit
// shifts.
inline uint32_t code_at(const uint8_t* bytes, uint32_t position, uint32_t width) {
  const uint32_t window = load_big_endian32(bytes + ((position >> 3) & MpegFileReader::kBodyMask));
  return (window << (position & 7u)) >> (32 - width);
}

// The three codes of an ungrouped Layer II group.
inline void group_codes(const uint8_t* bytes, uint32_t position, uint32_t width, uint32_t* codes) {
  for (uint32_t i = 0; i < 3; ++i) codes[i] = code_at(bytes, position + i * width, width);
}
#else
inline uint32_t code_at(const uint8_t* bytes, uint32_t position, uint32_t width) {
  return static_cast<uint32_t>(window_at(bytes, position) >> (64 - width));
}

// The three codes of an ungrouped Layer II group, from one window.
inline void group_codes(const uint8_t* bytes, uint32_t position, uint32_t width, uint32_t* codes) {
  const uint64_t window = window_at(bytes, position);
  const uint32_t shift = 64 - width;
  for (uint32_t i = 0; i < 3; ++i) codes[i] = static_cast<uint32_t>((window << i * width) >> shift);
}
#endif

// The slots or groups first .. end - 1 that a read of `count` from `first` covers, and the
// reader moved past their bits; false when there are none or they reach past the body.
bool claim_units(BitReader& reader, uint32_t units, uint32_t unit_bits, uint32_t first,
                 uint32_t& count) {
  count = first < units ? (count < units - first ? count : units - first) : 0;
  reader.set_position(reader.position() + static_cast<int32_t>(count * unit_bits));
  return count != 0 && !reader.overrun();
}

#if MPEGIN_SSE2
// The first three lanes of v at out; four when `spill` (the fourth slot is written later).
inline void store_group(float* out, __m128 v, bool spill) {
  if (spill) {
    _mm_storeu_ps(out, v);
  } else {
    _mm_storel_pi(reinterpret_cast<__m64*>(out), v);
    _mm_store_ss(out + 2, _mm_movehl_ps(v, v));
  }
}
#endif

// The groups first .. end - 1 of one Layer II set, its first group's codes at `position`, the
// next `step` bits on: into row0 (and row1, for a set that feeds both channels). kWhole: the
// whole frame, 0 .. 11, with loops of known length.
template <bool kGrouped, bool kBoth, bool kWhole>
void read_set_groups(const SampleSet& set, const uint8_t* bytes, uint32_t position, uint32_t step,
                     uint32_t first, uint32_t end, float* row0, float* row1) {
  if (kWhole) {
    first = 0;
    end = CodedSamples::kLayer2Groups;
  }
  const uint32_t width = set.bits;
  const float* const grouping = set.grouping;
#if MPEGIN_SSE2
  const __m128 factor = _mm_set1_ps(set.factor), offset = _mm_set1_ps(set.offset);
  const __m128 d = _mm_set1_ps(set.d), c = _mm_set1_ps(set.c);
#endif
  for (uint32_t part = first / 4; 4 * part < end; ++part) {
    const uint32_t to = end < 4 * part + 4 ? end : 4 * part + 4;
    const float scale0 = set.scales[0][part];
    const float scale1 = set.scales[1][part];
#if MPEGIN_SSE2
    const __m128 s0 = _mm_set1_ps(scale0), s1 = _mm_set1_ps(scale1);
#endif
    for (uint32_t group = first > 4 * part ? first : 4 * part; group < to; ++group) {
      uint32_t q[3];
      if (kGrouped) {
        q[0] = code_at(bytes, position, width);
      } else {
        group_codes(bytes, position, width, q);
      }
      position += step;
#if MPEGIN_SSE2
      __m128 value;
      if (kGrouped) {
        value = _mm_loadu_ps(grouping + 3 * q[0]);
      } else {
        const __m128i codes = _mm_setr_epi32(static_cast<int32_t>(q[0]), static_cast<int32_t>(q[1]),
                                             static_cast<int32_t>(q[2]), 0);
        const __m128 fraction = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(codes), factor), offset);
        value = _mm_mul_ps(_mm_add_ps(fraction, d), c);
      }
      const bool spill = group + 1 < end;
      store_group(row0 + 3 * group, _mm_mul_ps(value, s0), spill);
      if (kBoth) store_group(row1 + 3 * group, _mm_mul_ps(value, s1), spill);
#else
      float value[3];
      if (kGrouped) {
        const float* entry = grouping + 3 * q[0];
        for (int i = 0; i < 3; ++i) value[i] = entry[i];
      } else {
        for (uint32_t i = 0; i < 3; ++i) {
          const auto code = static_cast<float>(q[i]);
          value[i] = ((code * set.factor + set.offset) + set.d) * set.c;
        }
      }
      for (int i = 0; i < 3; ++i) {
        row0[3 * group + i] = value[i] * scale0;
        if (kBoth) row1[3 * group + i] = value[i] * scale1;
      }
#endif
    }
  }
}

#if MPEGIN_SSE2 && UINTPTR_MAX != 0xFFFFFFFFu
// The whole frame of one set of an ungrouped class, two groups a step: the six codes of a
// pair come out of the two windows with lane-wise shifts (no shift count in a general
// register), are put in slot order and requantised as read_set_groups does, in the same
// operations. A pair never straddles two parts.
template <bool kBoth>
void read_plain_pairs(const SampleSet& set, const uint8_t* bytes, uint32_t position, uint32_t step,
                      float* row0, float* row1) {
  const __m128i width = _mm_cvtsi32_si128(static_cast<int32_t>(set.bits));
  const __m128i twice = _mm_cvtsi32_si128(static_cast<int32_t>(2 * set.bits));
  const __m128i shift = _mm_cvtsi32_si128(static_cast<int32_t>(64 - set.bits));
  const __m128 factor = _mm_set1_ps(set.factor), offset = _mm_set1_ps(set.offset);
  const __m128 d = _mm_set1_ps(set.d), c = _mm_set1_ps(set.c);
  const auto requantise = [&](__m128i codes) {
    const __m128 fraction = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(codes), factor), offset);
    return _mm_mul_ps(_mm_add_ps(fraction, d), c);
  };
  for (uint32_t group = 0; group < CodedSamples::kLayer2Groups; group += 2) {
    const auto w0 = static_cast<int64_t>(window_at(bytes, position));
    const auto w1 = static_cast<int64_t>(window_at(bytes, position + step));
    position += 2 * step;
    const __m128i windows = _mm_unpacklo_epi64(_mm_cvtsi64_si128(w0), _mm_cvtsi64_si128(w1));
    // 64-bit lanes: the first, second and third code of each group.
    const __m128i a = _mm_srl_epi64(windows, shift);
    const __m128i b = _mm_srl_epi64(_mm_sll_epi64(windows, width), shift);
    const __m128i c3 = _mm_srl_epi64(_mm_sll_epi64(windows, twice), shift);
    // 32-bit lanes [a0 a1 b0 b1] and [c0 c1 c0 c1], requantised, then put in slot order:
    // a0 b0 c0 a1 | b1 c1.
    const __m128 ab = requantise(_mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0))));
    const __m128 cc = requantise(_mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(c3), _mm_castsi128_ps(c3), _MM_SHUFFLE(2, 0, 2, 0))));
    const __m128 c0a1 = _mm_shuffle_ps(cc, ab, _MM_SHUFFLE(1, 1, 0, 0));
    const __m128 first = _mm_shuffle_ps(ab, c0a1, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 second = _mm_shuffle_ps(ab, cc, _MM_SHUFFLE(1, 1, 3, 3));  // b1 b1 c1 c1
    const __m128 rest = _mm_shuffle_ps(second, second, _MM_SHUFFLE(2, 0, 2, 0));
    const uint32_t part = group / 4;
    const __m128 s0 = _mm_set1_ps(set.scales[0][part]);
    float* out0 = row0 + 3 * group;
    _mm_storeu_ps(out0, _mm_mul_ps(first, s0));
    _mm_storel_pi(reinterpret_cast<__m64*>(out0 + 4), _mm_mul_ps(rest, s0));
    if (kBoth) {
      const __m128 s1 = _mm_set1_ps(set.scales[1][part]);
      float* out1 = row1 + 3 * group;
      _mm_storeu_ps(out1, _mm_mul_ps(first, s1));
      _mm_storel_pi(reinterpret_cast<__m64*>(out1 + 4), _mm_mul_ps(rest, s1));
    }
  }
}
#define MPEGIN_PLAIN_PAIRS 1
#else
#define MPEGIN_PLAIN_PAIRS 0
#endif

// The slots first .. end - 1 of one Layer I set, as read_set_groups.
template <bool kBoth>
void read_set_slots(const SampleSet& set, const uint8_t* bytes, uint32_t position, uint32_t step,
                    uint32_t first, uint32_t end, float* row0, float* row1) {
  const uint32_t width = set.bits;
  const float scale0 = set.scales[0][0];
  const float scale1 = set.scales[1][0];
  uint32_t slot = first;
#if MPEGIN_SSE2
  // Four slots a step, the same operations as below.
  const __m128 factor = _mm_set1_ps(set.factor), offset = _mm_set1_ps(set.offset);
  const __m128 s0 = _mm_set1_ps(scale0), s1 = _mm_set1_ps(scale1);
  for (; slot + 4 <= end; slot += 4) {
    const auto code = [&](uint32_t k) {
      return static_cast<int32_t>(code_at(bytes, position + k * step, width));
    };
    const __m128i codes = _mm_setr_epi32(code(0), code(1), code(2), code(3));
    position += 4 * step;
    const __m128 value = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(codes), factor), offset);
    _mm_storeu_ps(row0 + slot, _mm_mul_ps(value, s0));
    if (kBoth) _mm_storeu_ps(row1 + slot, _mm_mul_ps(value, s1));
  }
#endif
  for (; slot < end; ++slot, position += step) {
    const auto code = static_cast<float>(code_at(bytes, position, width));
    const float value = code * set.factor + set.offset;
    row0[slot] = value * scale0;
    if (kBoth) row1[slot] = value * scale1;
  }
}

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

void CodedSamples::read_layer1_slots(MpegFileReader& body, uint32_t first, uint32_t count,
                                     Subbands& out) const {
  BitReader& reader = body.bits();
  const auto start = static_cast<uint32_t>(reader.position());
  if (!claim_units(reader, kLayer1Slots, unit_bits_, first, count)) return;
  for (uint32_t i = 0; i < set_count_; ++i) {
    const SampleSet& set = sets_[i];
    float* row0 = out.samples[set.first_row][set.subband];
    const uint32_t position = start + set.offset_bits;
    if (set.both) {
      read_set_slots<true>(set, reader.bytes(), position, unit_bits_, first, first + count, row0,
                           out.samples[1][set.subband]);
    } else {
      read_set_slots<false>(set, reader.bytes(), position, unit_bits_, first, first + count, row0,
                            nullptr);
    }
  }
}

void CodedSamples::read_layer2_groups(MpegFileReader& body, uint32_t first, uint32_t count,
                                      Subbands& out) const {
  BitReader& reader = body.bits();
  const auto start = static_cast<uint32_t>(reader.position());
  if (!claim_units(reader, kLayer2Groups, unit_bits_, first, count)) return;
  if (first == 0 && count == kLayer2Groups) {
    read_sets<true>(reader.bytes(), start, 0, kLayer2Groups, out);
  } else {
    read_sets<false>(reader.bytes(), start, first, first + count, out);
  }
}

template <bool kWhole>
void CodedSamples::read_sets(const uint8_t* bytes, uint32_t start, uint32_t first, uint32_t end,
                             Subbands& out) const {
  for (uint32_t i = 0; i < set_count_; ++i) {
    const SampleSet& set = sets_[i];
    float* row0 = out.samples[set.first_row][set.subband];
    float* row1 = out.samples[1][set.subband];
    const uint32_t position = start + set.offset_bits;
    const uint32_t step = unit_bits_;
    // One loop for each kind, with no test inside.
    if (set.grouping != nullptr) {
      if (set.both) {
        read_set_groups<true, true, kWhole>(set, bytes, position, step, first, end, row0, row1);
      } else {
        read_set_groups<true, false, kWhole>(set, bytes, position, step, first, end, row0, row1);
      }
#if MPEGIN_PLAIN_PAIRS
    } else if (kWhole) {
      if (set.both) {
        read_plain_pairs<true>(set, bytes, position, step, row0, row1);
      } else {
        read_plain_pairs<false>(set, bytes, position, step, row0, row1);
      }
#endif
    } else if (set.both) {
      read_set_groups<false, true, kWhole>(set, bytes, position, step, first, end, row0, row1);
    } else {
      read_set_groups<false, false, kWhole>(set, bytes, position, step, first, end, row0, row1);
    }
  }
}

}  // namespace mpegin
