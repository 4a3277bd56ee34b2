#pragma once

#include <cstdint>
#include <cstring>

#include "layer12/layer1_tables.h"
#include "layer12/layer2_tables.h"

namespace mpegin {

class MpegFileReader;

// The sample sets of one Layer I or II frame as its band objects found them: every coded
// sample set in stream order, with the numbers that turn its codes into subband samples. A
// frame's samples are then read and requantised set by set, straight into the layout the
// synthesis takes: the codes of one slot (Layer I) or group (Layer II) of all sets take the
// same number of bits in every slot or group, so each set's codes lie at a fixed distance
// from one another and can be read without the sets before them.
class CodedSamples {
 public:
  // Slots of a frame: Layer I 12, Layer II 12 groups of 3.
  static constexpr uint32_t kSlots = 36;
  static constexpr uint32_t kLayer1Slots = 12;
  static constexpr uint32_t kLayer2Groups = 12;

  // Subband samples by channel, subband and slot.
  struct Subbands {
    alignas(16) float samples[2][32][kSlots];
  };

  // Which channels a sample set feeds.
  enum Channels : uint32_t { kFirst = 1, kSecond = 2, kBoth = 3 };

  // Starts a frame: no sample sets.
  void clear() {
    set_count_ = 0;
    unit_bits_ = 0;
    rows_[0] = rows_[1] = 0;
  }

  // A Layer I sample set of `subband` with `allocation` (1..15: codes of allocation + 1 bits),
  // scaled by scale0 for channel 0 and scale1 for channel 1 (those it feeds).
  void add_layer1(uint32_t subband, uint32_t allocation, Channels channels, float scale0,
                  float scale1);
  // A Layer II sample set of `subband` in `quant_class`, scaled by scales0[part] for channel 0
  // and scales1[part] for channel 1 (those it feeds).
  void add_layer2(uint32_t subband, const Layer2QuantClass& quant_class, Channels channels,
                  const float* scales0, const float* scales1);

  uint32_t set_count() const { return set_count_; }

  // Zeroes the rows of channels 0 and 1 that no sample set feeds, over `slots` slots.
  void clear_silent_rows(Subbands& out, uint32_t slots) const;
  // Reads the Layer I codes of every set for `count` slots from `first` (0..11), the reader at
  // slot `first`'s codes, and writes their subband samples to out.samples[channel][subband]
  // [slot] for the channels each set feeds. The reader ends after the last slot's codes, as
  // reading them code by code would leave it. When those bits reach past the frame body
  // (over_read), nothing is written.
  void read_layer1_slots(MpegFileReader& reader, uint32_t first, uint32_t count,
                         Subbands& out) const;
  // The same for Layer II: `count` groups from `first` (0..11); group g holds slots
  // 3 g .. 3 g + 2, and slots 12 p .. 12 p + 11 take the scale factors of part p.
  void read_layer2_groups(MpegFileReader& reader, uint32_t first, uint32_t count,
                          Subbands& out) const;

  // One sample set (public for the reading loops of the source file).
  struct SampleSet {
    uint32_t subband;
    uint32_t bits;          // code width
    uint32_t offset_bits;   // where the set's codes start in each slot or group
    uint32_t first_row;     // 0 or 1
    bool both;              // also feeds channel 1 (intensity coding)
    // Layer II grouped classes: three final values per code (one float of padding at the
    // end, so that four can be loaded from any entry).
    const float* grouping;
    // A code q becomes ((q * factor + offset) + d) * c, then times its scale factor: Layer I
    // has d 0 and c 1 (left out), Layer II offset -1 for the ungrouped classes.
    float factor;
    float offset;
    float d;
    float c;
    float scales[2][3];  // [first row, channel 1][part]
  };

 private:
  SampleSet& add(uint32_t subband, Channels channels, uint32_t unit_bits);
  // The Layer II groups first .. end - 1 of every set, the first at bit `start` of the body.
  template <bool kWhole>
  void read_sets(const uint8_t* bytes, uint32_t start, uint32_t first, uint32_t end,
                 Subbands& out) const;

  SampleSet sets_[64];
  uint32_t set_count_ = 0;
  uint32_t unit_bits_ = 0;     // bits of one slot (Layer I) or group (Layer II) of all sets
  uint32_t rows_[2] = {0, 0};  // bit k: subband k of the channel is fed
};

// 2^e for e in -126..127, exactly.
inline float float_power_of_two(int32_t e) {
  const uint32_t bits = static_cast<uint32_t>(e + 127) << 23;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Adding sets is inlined into the band objects' reading of the scale factors.
inline CodedSamples::SampleSet& CodedSamples::add(uint32_t subband, Channels channels,
                                                  uint32_t unit_bits) {
  // At most 32 subbands with two sets each; the band objects never add more.
  SampleSet& set = sets_[set_count_ & 63];
  if (set_count_ < 64) {
    ++set_count_;
    unit_bits_ += unit_bits;
  }
  set.offset_bits = unit_bits_ - unit_bits;
  set.subband = subband & 31;
  set.first_row = channels == kSecond ? 1 : 0;
  set.both = channels == kBoth;
  if (channels & kFirst) rows_[0] |= 1u << set.subband;
  if (channels & kSecond) rows_[1] |= 1u << set.subband;
  return set;
}

inline void CodedSamples::add_layer1(uint32_t subband, uint32_t allocation, Channels channels,
                              float scale0, float scale1) {
  allocation &= 15;
  SampleSet& set = add(subband, channels, allocation + 1);
  set.bits = allocation + 1;
  set.grouping = nullptr;
  set.factor = layer1_factor[allocation];
  set.offset = layer1_offset[allocation];
  const float first = channels == kSecond ? scale1 : scale0;
  for (int part = 0; part < 3; ++part) {
    set.scales[0][part] = first;
    set.scales[1][part] = scale1;
  }
}

inline void CodedSamples::add_layer2(uint32_t subband, const Layer2QuantClass& quant_class,
                              Channels channels, const float* scales0, const float* scales1) {
  const uint32_t bits = quant_class.code_bits & 31;  // 3..16
  SampleSet& set = add(subband, channels, quant_class.grouping ? bits : 3 * bits);
  set.bits = bits;
  set.grouping = quant_class.grouping;
  // Grouped classes hold their final values, which are only scaled.
  set.factor = float_power_of_two(1 - static_cast<int32_t>(bits));  // 2 / 2^bits
  set.offset = -1.0f;
  set.d = quant_class.d;
  set.c = quant_class.c;
  const float* first = channels == kSecond ? scales1 : scales0;
  for (int part = 0; part < 3; ++part) {
    set.scales[0][part] = first[part];
    set.scales[1][part] = scales1[part];
  }
}

}  // namespace mpegin
