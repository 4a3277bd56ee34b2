#include "layer12/coded_samples.h"

#include <cstring>

#include "bitstream/mpeg_file_reader.h"
#include "layer12/layer1_tables.h"

namespace mpegin {

CodedSamples::SampleSet& CodedSamples::add(uint32_t subband, Channels channels) {
  // At most 32 subbands with two sets each; the band objects never add more.
  SampleSet& set = sets_[set_count_ & 63];
  set_count_ = set_count_ < 64 ? set_count_ + 1 : 64;
  set.subband = subband & 31;
  set.first_row = channels == kSecond ? 1 : 0;
  set.second_row = channels == kBoth ? 1 : 2;
  if (channels & kFirst) rows_[0] |= 1u << set.subband;
  if (channels & kSecond) rows_[1] |= 1u << set.subband;
  return set;
}

void CodedSamples::add_layer1(uint32_t subband, uint32_t allocation, Channels channels,
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

void CodedSamples::add_layer2(uint32_t subband, const Layer2QuantClass& quant_class,
                              Channels channels, const float* scales0, const float* scales1) {
  SampleSet& set = add(subband, channels);
  set.bits = quant_class.code_bits;
  set.grouping = quant_class.grouping;
  set.factor = 2.0f / static_cast<float>(1u << quant_class.code_bits);
  set.offset = -1.0f;
  set.d = quant_class.d;
  set.c = quant_class.c;
  const float* first = channels == kSecond ? scales1 : scales0;
  for (int part = 0; part < 3; ++part) {
    set.scales[0][part] = first[part];
    set.scales[1][part] = channels == kBoth ? scales1[part] : 0.0f;
  }
}

void CodedSamples::clear_silent_rows(Subbands& out, uint32_t slots) const {
  for (uint32_t channel = 0; channel < 2; ++channel) {
    for (uint32_t subband = 0; subband < 32; ++subband) {
      if ((rows_[channel] >> subband & 1) == 0) {
        std::memset(out.samples[channel][subband], 0, slots * sizeof(float));
      }
    }
  }
}

void CodedSamples::read_layer1_slot(MpegFileReader& reader, uint32_t slot, Subbands& out) const {
  slot %= kSlots;
  for (uint32_t i = 0; i < set_count_; ++i) {
    const SampleSet& set = sets_[i];
    const float value = static_cast<float>(reader.get_bits(set.bits)) * set.factor + set.offset;
    out.samples[set.first_row][set.subband][slot] = value * set.scales[0][0];
    out.samples[set.second_row][set.subband][slot] = value * set.scales[1][0];
  }
}

void CodedSamples::read_layer2_group(MpegFileReader& reader, uint32_t group, Subbands& out) const {
  group %= kLayer2Groups;
  const uint32_t part = group / 4;
  const uint32_t slot = 3 * group;
  for (uint32_t i = 0; i < set_count_; ++i) {
    const SampleSet& set = sets_[i];
    float values[3];
    if (set.grouping != nullptr) {
      // The table has 2^bits entries: codes the stream may not carry are silent groups.
      const float* entry = set.grouping + 3 * reader.get_bits(set.bits);
      values[0] = entry[0];
      values[1] = entry[1];
      values[2] = entry[2];
    } else {
      for (float& value : values) {
        const float fraction = static_cast<float>(reader.get_bits(set.bits)) * set.factor + set.offset;
        value = (fraction + set.d) * set.c;
      }
    }
    float* first = out.samples[set.first_row][set.subband] + slot;
    float* second = out.samples[set.second_row][set.subband] + slot;
    const float scale0 = set.scales[0][part];
    const float scale1 = set.scales[1][part];
    for (int k = 0; k < 3; ++k) {
      first[k] = values[k] * scale0;
      second[k] = values[k] * scale1;
    }
  }
}

}  // namespace mpegin
