#pragma once

#include <cstdint>

#include "bitstream/crc16.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer12/scale_factor_table.h"
#include "layer12/subband_band.h"

namespace mpegin {

// One subband of a single-channel Layer I frame: a 4-bit allocation, a 6-bit
// scale factor and 12 samples of (allocation + 1) bits. Layer1StereoBand and
// Layer1IntensityBand derive from it and use its fields for channel 0 (or for the
// shared sample set).
//
// Per frame the decoder calls parse_allocation on every band, checks the CRC,
// calls parse_scale_factors on every band and then reads the 12 samples of every
// sample set through CodedSamples, synthesising after them.
class Layer1Band : public SubbandBand {
 public:
  explicit Layer1Band(int32_t subband = 0) : SubbandBand(subband) {}

  // Defined here, as the helpers below, so that the two-channel kinds inline them.
  void parse_allocation(MpegFileReader& reader, const FrameHeader&, Crc16* crc) override {
    channel0_.read_allocation(reader);
    feed(crc, channel0_.allocation);
  }
  void parse_scale_factors(MpegFileReader& reader, const FrameHeader&,
                           CodedSamples& samples) override {
    if (channel0_.allocation == 0) return;
    channel0_.read_scale_factor(reader);
    samples.add_layer1(index(), channel0_.allocation, CodedSamples::kFirst,
                       channel0_.scale_factor, 0.0f);
  }

 protected:
  // What Layer I keeps per coded channel; the scale factor is set only when the
  // allocation is not 0.
  struct Channel {
    uint32_t allocation = 0;
    float scale_factor = 0.0f;

    void read_allocation(MpegFileReader& reader) { allocation = reader.get_bits(4); }
    void read_scale_factor(MpegFileReader& reader) {
      scale_factor = scale_factor_table[reader.get_bits(6)];
    }
  };

  static void feed(Crc16* crc, uint32_t allocation) {
    if (crc != nullptr) crc->feed(allocation, 4);
  }

  Channel channel0_;
};

}  // namespace mpegin
