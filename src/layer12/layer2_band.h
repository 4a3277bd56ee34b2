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
// parse_scale_factors on every band, and then reads the 12 groups of every sample
// set through CodedSamples, synthesising after them.
class Layer2Band : public SubbandBand {
 public:
  explicit Layer2Band(int32_t subband = 0) : SubbandBand(subband) {}

  void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) override;
  // Also looks up each coded channel's quantisation class.
  void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                           CodedSamples& samples) override;
  // Reads the scale factor selection of each coded channel; feeds it to crc.
  virtual void parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc);

 protected:
  // A selection (scfsi) and the three scale factors it spreads over the parts.
  struct ScaleFactors {
    uint32_t selection = 0;
    float factors[3] = {0.0f, 0.0f, 0.0f};

    void read_selection(MpegFileReader& reader, Crc16* crc);
    void read(MpegFileReader& reader);
  };

  // What Layer II keeps per coded channel; the scale factors are read only when the
  // allocation is not 0.
  struct Channel {
    uint32_t allocation = 0;
    ScaleFactors scale;

    void read_allocation(MpegFileReader& reader, uint32_t bits, Crc16* crc);
  };

  static Layer2Layout layout(const FrameHeader& header);
  const Layer2QuantClass& quant_class(const FrameHeader& header, const Channel& channel) const;

  Channel channel0_;
};

}  // namespace mpegin
