#pragma once

#include <cstdint>

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer12/layer2_tables.h"
#include "layer12/scale_factor_table.h"
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
  // Looks up the frame's allocation row of the subband (once a frame, by parse_allocation).
  void find_allocation(const FrameHeader& header) {
    allocation_ = layer2_allocation(layout(header), index());
  }
  const Layer2QuantClass& quant_class(const Channel& channel) const {
    return allocation_.quant_class(channel.allocation);
  }

  Layer2Allocation allocation_{};
  Channel channel0_;
};

// Defined here so that the two-channel kinds inline them.
inline void Layer2Band::ScaleFactors::read_selection(MpegFileReader& reader, Crc16* crc) {
  selection = reader.get_bits(2);
  if (crc != nullptr) crc->feed(selection, 2);
}

inline void Layer2Band::ScaleFactors::read(MpegFileReader& reader) {
  // Selection 0: three factors; 1: parts 0 and 1 share the first; 2: one for all parts;
  // 3: parts 1 and 2 share the second. The factors after the first are read in one field and
  // spread without a branch on the selection, which varies from band to band.
  constexpr uint32_t kMoreFactors = 0x1012;  // four bits per selection: 2, 1, 0, 1
  const uint32_t first = reader.get_bits(6);
  const uint32_t more = kMoreFactors >> (4 * (selection & 3)) & 3;
  const uint32_t rest = reader.get_bits(6 * more);
  const uint32_t last = rest & 63;
  const uint32_t second = selection == 0 ? rest >> 6 : (selection == 3 ? last : first);
  const uint32_t third = selection == 2 ? first : last;
  factors[0] = scale_factor_table[first];
  factors[1] = scale_factor_table[second];
  factors[2] = scale_factor_table[third];
}

inline void Layer2Band::Channel::read_allocation(MpegFileReader& reader, uint32_t bits,
                                                 Crc16* crc) {
  allocation = reader.get_bits(bits);
  if (crc != nullptr) crc->feed(allocation, bits);
}

inline Layer2Layout Layer2Band::layout(const FrameHeader& header) {
  // A free-format frame carries no bit rate index: its measured rate picks the tables.
  if (header.bitrate_index == 0 && header.free_format_bytes != 0)
    return {header.version, header.free_format_channel_index()};
  return {header.version, layer2_per_channel_index(header.bitrate_index, header.mode)};
}

inline void Layer2Band::parse_allocation(MpegFileReader& reader, const FrameHeader& header,
                                         Crc16* crc) {
  find_allocation(header);
  channel0_.read_allocation(reader, allocation_.bits, crc);
}

inline void Layer2Band::parse_scale_factor_selection(MpegFileReader& reader, Crc16* crc) {
  if (channel0_.allocation != 0) channel0_.scale.read_selection(reader, crc);
}

inline void Layer2Band::parse_scale_factors(MpegFileReader& reader, const FrameHeader&,
                                            CodedSamples& samples) {
  if (channel0_.allocation == 0) return;
  channel0_.scale.read(reader);
  samples.add_layer2(index(), quant_class(channel0_), CodedSamples::kFirst,
                     channel0_.scale.factors, channel0_.scale.factors);
}

}  // namespace mpegin
