#pragma once

#include <cstdint>

#include "layer12/coded_samples.h"

namespace mpegin {

class Crc16;
class FrameHeader;
class MpegFileReader;

// The operations shared by the band objects of Layers I and II: one object stands
// for one subband of the current frame and reads its allocation and scale factor
// fields from the frame body in stream order. Its sample codes are read for all
// subbands at once: parse_scale_factors hands each coded sample set over to the
// frame's CodedSamples.
class SubbandBand {
 public:
  explicit SubbandBand(int32_t subband) : subband_(subband) {}
  virtual ~SubbandBand() = default;

  // Reads the allocation field(s); feeds each to crc when there is one.
  virtual void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) = 0;
  // Reads the scale factors of the coded channels and adds the band's sample sets, in
  // stream order, to `samples`.
  virtual void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header,
                                   CodedSamples& samples) = 0;

  int32_t subband() const { return subband_; }

 protected:
  uint32_t index() const { return static_cast<uint32_t>(subband_); }

  int32_t subband_;
};

}  // namespace mpegin
