#include "layer12/band_pool.h"

#include <algorithm>

#include "bitstream/frame_header.h"

namespace mpegin {

namespace {

constexpr uint32_t kMaxSubbands = 32;
constexpr uint32_t kLsfLayer2Subbands = 30;
constexpr uint32_t kJointStereo = 1;

// Picks, per subband, the single-channel kind, or the stereo kind below the bound
// and the intensity kind from it on.
template <class Band, class Stereo, class Intensity>
void select(BandList<Band>& list, uint32_t mode, uint32_t count, uint32_t bound, Band* single,
            Stereo* stereo, Intensity* intensity) {
  list.count = std::min(count, kMaxSubbands);
  if (mode != kJointStereo) bound = list.count;
  for (uint32_t sb = 0; sb < list.count; ++sb) {
    Band* band;
    if (mode_channels(mode) == 1) {
      band = &single[sb];
    } else if (sb < bound) {
      band = &stereo[sb];
    } else {
      band = &intensity[sb];
    }
    list.bands[sb] = band;
  }
}

}  // namespace

Layer2Limits layer2_limits(const FrameHeader& header) {
  if (header.version != 0) return {header.subband_count, header.intensity_bound};
  const uint32_t bound = header.mode == kJointStereo ? header.mode_extension * 4 + 4 : 0;
  return {kLsfLayer2Subbands, std::min(bound, kLsfLayer2Subbands)};
}

BandPool::BandPool() {
  for (int32_t sb = 0; sb < static_cast<int32_t>(kMaxSubbands); ++sb) {
    layer1_[sb] = Layer1Band(sb);
    layer1_stereo_[sb] = Layer1StereoBand(sb);
    layer1_intensity_[sb] = Layer1IntensityBand(sb);
    layer2_[sb] = Layer2Band(sb);
    layer2_stereo_[sb] = Layer2StereoBand(sb);
    layer2_intensity_[sb] = Layer2IntensityBand(sb);
  }
}

const BandList<Layer1Band>& BandPool::select_layer1(const FrameHeader& header) {
  samples_.clear();
  select(layer1_list_, header.mode, header.subband_count, header.intensity_bound, layer1_,
         layer1_stereo_, layer1_intensity_);
  return layer1_list_;
}

const BandList<Layer2Band>& BandPool::select_layer2(const FrameHeader& header) {
  samples_.clear();
  const Layer2Limits limits = layer2_limits(header);
  select(layer2_list_, header.mode, limits.subband_count, limits.intensity_bound, layer2_,
         layer2_stereo_, layer2_intensity_);
  return layer2_list_;
}

}  // namespace mpegin
