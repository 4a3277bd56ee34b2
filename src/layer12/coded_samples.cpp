#include "layer12/coded_samples.h"

#include <cstdint>
#include <cstring>

#include "bitstream/mpeg_file_reader.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

#if UINTPTR_MAX == 0xFFFFFFFFu
// 32-bit targets, where a 64-bit cache takes two registers of few and every shift of it a
// sequence: each code is taken from the two words it lies in, with 32-bit operations only.
// The same bits as get_bits in the same order; `finish` brings the reader's position up to date.
class BitCache {
 public:
  explicit BitCache(MpegFileReader& reader)
      : reader_(reader),
        words_(reader.frame_buffer),
        word_(reader.word_cursor & MpegFileReader::kWordMask),
        offset_(reader.bit_offset & 31) {}

  // The next n bits, n = 1..17.
  uint32_t get(uint32_t n) {
    const uint32_t high = words_[word_] << offset_;
    // (w >> 1) >> (31 - offset_) is w >> (32 - offset_), defined for offset_ = 0 as well.
    const uint32_t low = (words_[(word_ + 1) & MpegFileReader::kWordMask] >> 1) >> (31 - offset_);
    const uint32_t bits = (high | low) >> (32 - n);
    const uint32_t s = offset_ + n;
    word_ = (word_ + (s >> 5)) & MpegFileReader::kWordMask;
    offset_ = s & 31;
    return bits;
  }

  void finish() {
    reader_.word_cursor = word_;
    reader_.bit_offset = offset_;
  }

 private:
  MpegFileReader& reader_;
  const uint32_t* words_;
  uint32_t word_;    // the word that holds the next unread bit
  uint32_t offset_;  // bits of it already read (0..31)
};
#else
// The reader's bits through a 64-bit cache held in a register: the same bits as get_bits in the
// same order, over the same wrapping word store, without a memory round trip per code. The
// reader's position is brought up to date by `finish`.
class BitCache {
 public:
  explicit BitCache(MpegFileReader& reader)
      : reader_(reader),
        words_(reader.frame_buffer),
        cache_(uint64_t{reader.frame_buffer[reader.word_cursor & MpegFileReader::kWordMask]}
               << (32 + (reader.bit_offset & 31))),
        valid_(32 - (reader.bit_offset & 31)),
        next_word_((reader.word_cursor + 1) & MpegFileReader::kWordMask) {}

  // The next n bits, n = 1..17.
  uint32_t get(uint32_t n) {
    if (valid_ < n) {
      cache_ |= uint64_t{words_[next_word_]} << (32 - valid_);
      valid_ += 32;
      next_word_ = (next_word_ + 1) & MpegFileReader::kWordMask;
    }
    const uint32_t bits = static_cast<uint32_t>(cache_ >> (64 - n));
    cache_ <<= n;
    valid_ -= n;
    return bits;
  }

  void finish() {
    // The word before next_word_ holds the next unread bit when valid_ <= 32; 32 < valid_
    // means two words are cached.
    const uint32_t behind = (valid_ + 31) / 32;  // cached words that are not used up
    reader_.word_cursor = (next_word_ - behind) & MpegFileReader::kWordMask;
    reader_.bit_offset = (32 * behind - valid_) & 31;
  }

 private:
  MpegFileReader& reader_;
  const uint32_t* words_;
  uint64_t cache_;   // unread bits, most significant first
  uint32_t valid_;   // how many of them are valid (0..48)
  uint32_t next_word_;
};
#endif

#if UINTPTR_MAX != 0xFFFFFFFFu
// 64-bit targets: the 64 bits from the reading position, taken whole from the three words they
// lie in, so that up to three codes of 16 bits come out with shifts and no test. The same bits
// as get_bits in the same order; `finish` brings the reader's position up to date.
class BitWindow {
 public:
  explicit BitWindow(MpegFileReader& reader)
      : reader_(reader),
        words_(reader.frame_buffer),
        position_((reader.word_cursor & MpegFileReader::kWordMask) << 5 |
                  (reader.bit_offset & 31)) {}

  // The next 64 bits, most significant first; the position does not move.
  uint64_t peek() const {
    const uint32_t word = position_ >> 5;
    const uint32_t offset = position_ & 31;
    const uint64_t high = uint64_t{words_[word & MpegFileReader::kWordMask]} << 32 |
                          words_[(word + 1) & MpegFileReader::kWordMask];
    const uint64_t low = words_[(word + 2) & MpegFileReader::kWordMask];
    return high << offset | low >> (32 - offset);  // a shift by 32 of the 64-bit low is 0
  }
  void skip(uint32_t n) { position_ += n; }

  void finish() {
    reader_.word_cursor = (position_ >> 5) & MpegFileReader::kWordMask;
    reader_.bit_offset = position_ & 31;
  }

 private:
  MpegFileReader& reader_;
  const uint32_t* words_;
  uint32_t position_;  // bit index into the word store; the word index wraps with the store
};
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

void CodedSamples::read_layer1_slots(MpegFileReader& reader, uint32_t first, uint32_t count) {
  BitCache bits(reader);
  for (uint32_t slot = first; slot < first + count && slot < kLayer1Slots; ++slot) {
    for (uint32_t i = 0; i < set_count_; ++i) {
      codes_[i][slot] = static_cast<float>(bits.get(sets_[i].bits));
    }
  }
  bits.finish();
}

void CodedSamples::read_layer2_groups(MpegFileReader& reader, uint32_t first, uint32_t count) {
#if UINTPTR_MAX != 0xFFFFFFFFu
  BitWindow bits(reader);
#else
  BitCache bits(reader);
#endif
  for (uint32_t group = first; group < first + count && group < kLayer2Groups; ++group) {
    const uint32_t slot = 3 * group;
    for (uint32_t i = 0; i < set_count_; ++i) {
      const SampleSet& set = sets_[i];
      float* codes = codes_[i] + slot;
#if UINTPTR_MAX != 0xFFFFFFFFu
      const uint64_t window = bits.peek();
      const uint32_t width = set.bits;  // 3..16
      const uint32_t shift = 64 - width;
      if (set.grouping != nullptr) {
        // The table has 2^bits entries: codes the stream may not carry are silent groups.
        const float* entry = set.grouping + 3 * static_cast<uint32_t>(window >> shift);
        codes[0] = entry[0];
        codes[1] = entry[1];
        codes[2] = entry[2];
        bits.skip(width);
      } else {
        codes[0] = static_cast<float>(static_cast<uint32_t>(window >> shift));
        codes[1] = static_cast<float>(static_cast<uint32_t>((window << width) >> shift));
        codes[2] = static_cast<float>(static_cast<uint32_t>((window << 2 * width) >> shift));
        bits.skip(3 * width);
      }
#else
      if (set.grouping != nullptr) {
        const float* entry = set.grouping + 3 * bits.get(set.bits);
        codes[0] = entry[0];
        codes[1] = entry[1];
        codes[2] = entry[2];
      } else {
        codes[0] = static_cast<float>(bits.get(set.bits));
        codes[1] = static_cast<float>(bits.get(set.bits));
        codes[2] = static_cast<float>(bits.get(set.bits));
      }
#endif
    }
  }
  bits.finish();
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
