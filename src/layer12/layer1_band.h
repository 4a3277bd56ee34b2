#pragma once

#include <cstdint>

#include "layer12/subband_band.h"

namespace mpegin {

// One subband of a single-channel Layer I frame: a 4-bit allocation, a 6-bit
// scale factor and 12 samples of (allocation + 1) bits. Layer1StereoBand and
// Layer1IntensityBand derive from it and use its fields for channel 0 (or for the
// shared sample set).
//
// Per frame the decoder calls parse_allocation on every band, checks the CRC,
// calls parse_scale_factors on every band and then runs 12 passes of
// parse_samples and emit_sample over all bands, synthesising after each pass.
class Layer1Band : public SubbandBand {
 public:
  explicit Layer1Band(int32_t subband = 0) : SubbandBand(subband) {}

  void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) override;
  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header) override;
  bool parse_samples(MpegFileReader& reader) override;
  // Always true: a Layer I band hands over one sample per pass. Defined inline below, so
  // that the derived bands inline their calls of it.
  bool emit_sample(int32_t channel_select, SynthesisFilter& filter0,
                   SynthesisFilter* filter1) override;

  // Prepares a kept object for the next frame: the state of a new object.
  void restart() { sample_counter_ = 0; }

 protected:
  // What Layer I keeps per coded channel. Fields other than allocation are set
  // only when the allocation is not 0, and read only then.
  struct Channel {
    uint32_t allocation = 0;
    float scale_factor = 0.0f;
    uint32_t sample_bits = 0;
    float sample = 0.0f;
    float factor = 0.0f;
    float offset = 0.0f;

    void read_allocation(MpegFileReader& reader);
    void read_scale_factor(MpegFileReader& reader);
    void read_sample(MpegFileReader& reader);
    float sample_value() const { return sample * factor + offset; }
  };

  static void feed(Crc16* crc, uint32_t allocation);

  int32_t sample_counter_ = 0;
  Channel channel0_;
};

inline bool Layer1Band::emit_sample(int32_t channel_select, SynthesisFilter& filter0, SynthesisFilter*) {
  if (channel0_.allocation != 0 && channel_select != 2) {
    filter0.put_sample(subband_, channel0_.sample_value() * channel0_.scale_factor);
  }
  return true;
}

}  // namespace mpegin
