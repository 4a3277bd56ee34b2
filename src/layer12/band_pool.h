#pragma once

#include <cstdint>

#include "layer12/layer1_band.h"
#include "layer12/layer1_intensity_band.h"
#include "layer12/layer1_stereo_band.h"
#include "layer12/layer2_band.h"
#include "layer12/layer2_intensity_band.h"
#include "layer12/layer2_stereo_band.h"

namespace mpegin {

class Crc16;
class FrameHeader;
class MpegFileReader;

// The band objects of one Layer I or II frame, in subband order.
template <class Band>
struct BandList {
  Band* bands[32];
  uint32_t count;
};

// Subbands coded by a Layer II frame and its first intensity-coded subband.
struct Layer2Limits {
  uint32_t subband_count;
  uint32_t intensity_bound;
};

// MPEG-1 frames take both from the frame header. MPEG-2 LSF frames always code 30
// subbands (ISO/IEC 13818-3), whatever the bit rate, with the joint-stereo bound of
// the mode extension.
Layer2Limits layer2_limits(const FrameHeader& header);

// Keeps one band object of every kind for every subband, so that decoding a frame
// allocates nothing; each frame picks the kinds its channel mode needs. The objects
// keep nothing from one frame to the next that the next one does not read anew. The
// pool also keeps the frame's sample sets and the store its subband samples go to.
//
// Kinds by mode: single channel: Layer1Band / Layer2Band; joint stereo: the stereo
// kind below the intensity bound and the intensity kind from it on; stereo and dual
// channel: the stereo kind.
class BandPool {
 public:
  BandPool();
  BandPool(const BandPool&) = delete;
  BandPool& operator=(const BandPool&) = delete;

  // Pick the frame's bands and clear the sample sets.
  const BandList<Layer1Band>& select_layer1(const FrameHeader& header);
  const BandList<Layer2Band>& select_layer2(const FrameHeader& header);

  // The reading passes over the bands the last select_* picked, in subband order and without
  // a virtual call (the same as calling each band's parse_* in turn): the allocations, Layer
  // II's scale factor selections (both fed to crc when there is one), and the scale factors,
  // which add the frame's sample sets to samples().
  void parse_layer1_allocations(MpegFileReader& reader, const FrameHeader& header, Crc16* crc);
  void parse_layer1_scale_factors(MpegFileReader& reader, const FrameHeader& header);
  void parse_layer2_allocations(MpegFileReader& reader, const FrameHeader& header, Crc16* crc);
  void parse_layer2_selections(MpegFileReader& reader, Crc16* crc);
  void parse_layer2_scale_factors(MpegFileReader& reader, const FrameHeader& header);

  CodedSamples& samples() { return samples_; }
  CodedSamples::Subbands& subbands() { return subbands_; }

 private:
  Layer1Band layer1_[32];
  Layer1StereoBand layer1_stereo_[32];
  Layer1IntensityBand layer1_intensity_[32];
  Layer2Band layer2_[32];
  Layer2StereoBand layer2_stereo_[32];
  Layer2IntensityBand layer2_intensity_[32];
  // What the last select_* picked: subbands 0 .. count - 1, the single-channel kind, or the
  // stereo kind below `bound` and the intensity kind from it on.
  struct Selection {
    bool single;
    uint32_t bound;
    uint32_t count;
  };
  template <class Band, class Stereo, class Intensity, class Visit>
  void for_each_band(Band* single, Stereo* stereo, Intensity* intensity, Visit visit);

  Selection selection_{true, 0, 0};
  BandList<Layer1Band> layer1_list_{};
  BandList<Layer2Band> layer2_list_{};
  CodedSamples samples_;
  CodedSamples::Subbands subbands_;
};

}  // namespace mpegin
