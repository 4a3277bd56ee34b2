#pragma once

#include <cstdint>

#include "layer12/layer2_tables.h"
#include "layer12/subband_band.h"

namespace mpegin {

// One subband of a single-channel Layer II frame: an allocation field whose width
// depends on the subband and the frame's rate, a 2-bit scale factor selection, up
// to three 6-bit scale factors (parts 0, 1, 2 of the frame: groups 0-3, 4-7,
// 8-11) and 12 groups of three samples. Layer2StereoBand and Layer2IntensityBand
// derive from it and use its fields for channel 0 (or the shared sample set).
//
// Per frame the decoder calls parse_allocation on every band, then
// parse_scale_factor_selection on every band, checks the CRC, calls
// parse_scale_factors on every band, and then 12 times: parse_samples on every
// band followed by three passes of emit_sample over all bands, synthesising after
// each pass.
class Layer2Band : public SubbandBand {
 public:
  explicit Layer2Band(int32_t subband = 0) : SubbandBand(subband) {}

  void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) override;
  // Also looks up each coded channel's quantisation class.
  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header) override;
  bool parse_samples(MpegFileReader& reader) override;
  // True once the third sample of the current group is out.
  // Defined inline below, so that the derived bands inline their calls of it.
  bool emit_sample(int32_t channel_select, SynthesisFilter& filter0,
                   SynthesisFilter* filter1) override;
  // Reads the scale factor selection of each coded channel; feeds it to crc.
  virtual void parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc);

  // Prepares a kept object for the next frame: the state of a new object.
  void restart() {
    sample_counter_ = 0;
    triple_index_ = 0;
    part_ = 0;
  }

 protected:
  // A selection (scfsi) and the three scale factors it spreads over the parts.
  struct ScaleFactors {
    uint32_t selection = 0;
    float factors[3] = {0.0f, 0.0f, 0.0f};

    void read_selection(MpegFileReader& reader, Crc16* crc);
    void read(MpegFileReader& reader);
  };

  // What Layer II keeps per coded channel. Fields other than allocation are set
  // only when the allocation is not 0, and read only then.
  struct Channel {
    uint32_t allocation = 0;
    ScaleFactors scale;
    uint32_t code_bits = 0;
    const float* grouping = nullptr;
    float factor = 0.0f;
    float samples[3] = {0.0f, 0.0f, 0.0f};
    // Requantisation constants: D and C of an ungrouped class; 0 and 1 for a
    // grouped class, whose table values are final.
    float c = 1.0f;
    float d = 0.0f;

    void read_allocation(MpegFileReader& reader, uint32_t bits, Crc16* crc);
    void set_class(const Layer2QuantClass& quant_class);
    void read_group(MpegFileReader& reader);
    float sample_value(int32_t index) const { return (samples[index] + d) * c; }
  };

  static Layer2Layout layout(const FrameHeader& header);
  void read_scale_factors(MpegFileReader& reader, const FrameHeader& header, Channel& channel);

  int32_t sample_counter_ = 0;
  int32_t triple_index_ = 0;
  int32_t part_ = 0;  // the part of the frame that the current group belongs to
  Channel channel0_;
};

inline bool Layer2Band::emit_sample(int32_t channel_select, SynthesisFilter& filter0, SynthesisFilter*) {
  if (channel0_.allocation != 0 && channel_select != 2) {
    filter0.put_sample(subband_, channel0_.sample_value(triple_index_) *
                                     channel0_.scale.factors[part_]);
  }
  return ++triple_index_ == 3;
}

}  // namespace mpegin
