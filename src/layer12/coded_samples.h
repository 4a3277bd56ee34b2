#pragma once

#include <cstdint>

#include "layer12/layer1_tables.h"
#include "layer12/layer2_tables.h"

namespace mpegin {

class MpegFileReader;

// The sample codes of one Layer I or II frame as its band objects found them: every coded
// sample set in stream order, with the numbers that turn its codes into subband samples. A
// frame's samples are then read and requantised for all subbands and channels with plain loops,
// straight into the layout the synthesis takes.
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
  // Reads the Layer I code of every set for `count` slots from `first` (0..11), slot by slot.
  void read_layer1_slots(MpegFileReader& reader, uint32_t first, uint32_t count);
  // Reads the Layer II group of every set for `count` groups from `first` (0..11), group by
  // group: group g holds slots 3 g .. 3 g + 2.
  void read_layer2_groups(MpegFileReader& reader, uint32_t first, uint32_t count);
  // Turns the codes read for slots first_slot .. first_slot + slot_count - 1 into subband
  // samples: out.samples[channel][subband][slot] for the channels each set feeds (slots
  // 12 p .. 12 p + 11 take the scale factors of part p).
  void requantise(uint32_t first_slot, uint32_t slot_count, Subbands& out) const;

 private:
  struct SampleSet {
    uint32_t subband;
    uint32_t bits;          // code width
    const float* grouping;  // Layer II grouped classes: three final values per code
    // A code q becomes ((q * factor + offset) + d) * c, then times its scale factor: Layer I
    // has d 0 and c 1, Layer II offset -1 for the ungrouped classes.
    float factor;
    float offset;
    float d;
    float c;
    uint32_t first_row;  // 0 or 1
    bool both;           // also feeds channel 1 (intensity coding)
    float scales[2][3];  // [first row, channel 1][part]
  };

  SampleSet& add(uint32_t subband, Channels channels);

  SampleSet sets_[64];
  // The codes of each set by slot as floats: ungrouped codes as read, grouped classes' final
  // values.
  alignas(16) float codes_[64][kSlots];
  uint32_t set_count_ = 0;
  uint32_t rows_[2] = {0, 0};  // bit k: subband k of the channel is fed
};

// Adding sets is inlined into the band objects' reading of the scale factors.
inline CodedSamples::SampleSet& CodedSamples::add(uint32_t subband, Channels channels) {
  // At most 32 subbands with two sets each; the band objects never add more.
  SampleSet& set = sets_[set_count_ & 63];
  set_count_ = set_count_ < 64 ? set_count_ + 1 : 64;
  set.subband = subband & 31;
  set.first_row = channels == kSecond ? 1 : 0;
  set.both = channels == kBoth;
  if (channels & kFirst) rows_[0] |= 1u << set.subband;
  if (channels & kSecond) rows_[1] |= 1u << set.subband;
  return set;
}

inline void CodedSamples::add_layer1(uint32_t subband, uint32_t allocation, Channels channels,
                              float scale0, float scale1) {
  SampleSet& set = add(subband, channels);
  allocation &= 15;
  set.bits = allocation + 1;
  set.grouping = nullptr;
  set.factor = layer1_factor[allocation];
  set.offset = layer1_offset[allocation];
  set.d = 0.0f;
  set.c = 1.0f;
  const float first = channels == kSecond ? scale1 : scale0;
  for (int part = 0; part < 3; ++part) {
    set.scales[0][part] = first;
    set.scales[1][part] = scale1;
  }
}

inline void CodedSamples::add_layer2(uint32_t subband, const Layer2QuantClass& quant_class,
                              Channels channels, const float* scales0, const float* scales1) {
  SampleSet& set = add(subband, channels);
  set.bits = quant_class.code_bits;
  set.grouping = quant_class.grouping;
  // Grouped classes store their final values: factor 1, offset, d 0 and c 1 keep them as
  // they are (no value of the tables is -0).
  set.factor = set.grouping ? 1.0f : 2.0f / static_cast<float>(1u << quant_class.code_bits);
  set.offset = set.grouping ? 0.0f : -1.0f;
  set.d = set.grouping ? 0.0f : quant_class.d;
  set.c = set.grouping ? 1.0f : quant_class.c;
  const float* first = channels == kSecond ? scales1 : scales0;
  for (int part = 0; part < 3; ++part) {
    set.scales[0][part] = first[part];
    set.scales[1][part] = scales1[part];
  }
}

}  // namespace mpegin
