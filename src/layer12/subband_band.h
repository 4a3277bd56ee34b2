#pragma once

#include <cstdint>

#include "synthesis/synthesis_filter.h"

namespace mpegin {

class Crc16;
class FrameHeader;
class MpegFileReader;

// The operations shared by the band objects of Layers I and II: one object stands
// for one subband of the current frame, reads its fields from the frame body in
// stream order and stores requantised samples into the synthesis filters.
//
// channel_select for emit_sample: 0 writes channel 0 into filter0 and channel 1
// into filter1 (which must then exist); 1 writes channel 0 only and 2 channel 1
// only, both into filter0.
class SubbandBand {
 public:
  explicit SubbandBand(int32_t subband) : subband_(subband) {}
  virtual ~SubbandBand() = default;

  // Reads the allocation field(s); feeds each to crc when there is one.
  virtual void parse_allocation(MpegFileReader& reader, const FrameHeader& header, Crc16* crc) = 0;
  // Reads the scale factors of the coded channels.
  virtual void parse_scale_factors(MpegFileReader& reader, const FrameHeader& header) = 0;
  // Reads the next sample code (Layer I) or group (Layer II) of each coded
  // channel; true when it was the frame's last (the 12th).
  virtual bool parse_samples(MpegFileReader& reader) = 0;
  // Stores the next requantised sample(s) into the filters; true when the band
  // has handed over the last sample of the current sample or group.
  virtual bool emit_sample(int32_t channel_select, SynthesisFilter& filter0,
                           SynthesisFilter* filter1) = 0;

  int32_t subband() const { return subband_; }

 protected:
  // Channel 1's value of a two-channel band: filter1 for both channels, filter0
  // when only channel 1 is produced, nowhere when only channel 0 is.
  void emit_second(int32_t channel_select, SynthesisFilter& filter0, SynthesisFilter* filter1,
                   float value) const {
    if (channel_select == 1) return;
    SynthesisFilter& target = channel_select == 0 ? *filter1 : filter0;
    target.put_sample(subband_, value);
  }
  // One value scaled per channel (intensity coding).
  void emit_scaled(int32_t channel_select, SynthesisFilter& filter0, SynthesisFilter* filter1,
                   float value, float scale0, float scale1) const {
    if (channel_select == 0) {
      filter0.put_sample(subband_, value * scale0);
      filter1->put_sample(subband_, value * scale1);
    } else {
      filter0.put_sample(subband_, value * (channel_select == 1 ? scale0 : scale1));
    }
  }

  int32_t subband_;
};

}  // namespace mpegin
