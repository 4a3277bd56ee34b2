#include "layer12/band_pool.h"

#include <algorithm>
#include <type_traits>

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

// The kinds select() picks, as for_each_band visits them.
template <class Selection>
void remember(Selection& selection, uint32_t mode, uint32_t count, uint32_t bound) {
  selection.single = mode_channels(mode) == 1;
  selection.count = count;
  selection.bound = mode != kJointStereo || bound > count ? count : bound;
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
  remember(selection_, header.mode, layer1_list_.count, header.intensity_bound);
  return layer1_list_;
}

const BandList<Layer2Band>& BandPool::select_layer2(const FrameHeader& header) {
  samples_.clear();
  const Layer2Limits limits = layer2_limits(header);
  select(layer2_list_, header.mode, limits.subband_count, limits.intensity_bound, layer2_,
         layer2_stereo_, layer2_intensity_);
  remember(selection_, header.mode, layer2_list_.count, limits.intensity_bound);
  return layer2_list_;
}

template <class Band, class Stereo, class Intensity, class Visit>
void BandPool::for_each_band(Band* single, Stereo* stereo, Intensity* intensity, Visit visit) {
  if (selection_.single) {
    for (uint32_t sb = 0; sb < selection_.count; ++sb) visit(single[sb]);
    return;
  }
  for (uint32_t sb = 0; sb < selection_.bound; ++sb) visit(stereo[sb]);
  for (uint32_t sb = selection_.bound; sb < selection_.count; ++sb) visit(intensity[sb]);
}

// Each visit names the band's own kind, so that the call is direct.
void BandPool::parse_layer1_allocations(MpegFileReader& reader, const FrameHeader& header,
                                        Crc16* crc) {
  for_each_band(layer1_, layer1_stereo_, layer1_intensity_, [&](auto& band) {
    using Kind = std::remove_reference_t<decltype(band)>;
    static_cast<Kind&>(band).Kind::parse_allocation(reader, header, crc);
  });
}

void BandPool::parse_layer1_scale_factors(MpegFileReader& reader, const FrameHeader& header) {
  for_each_band(layer1_, layer1_stereo_, layer1_intensity_, [&](auto& band) {
    using Kind = std::remove_reference_t<decltype(band)>;
    static_cast<Kind&>(band).Kind::parse_scale_factors(reader, header, samples_);
  });
}

void BandPool::parse_layer2_allocations(MpegFileReader& reader, const FrameHeader& header,
                                        Crc16* crc) {
  for_each_band(layer2_, layer2_stereo_, layer2_intensity_, [&](auto& band) {
    using Kind = std::remove_reference_t<decltype(band)>;
    static_cast<Kind&>(band).Kind::parse_allocation(reader, header, crc);
  });
}

void BandPool::parse_layer2_selections(MpegFileReader& reader, Crc16* crc) {
  for_each_band(layer2_, layer2_stereo_, layer2_intensity_, [&](auto& band) {
    using Kind = std::remove_reference_t<decltype(band)>;
    static_cast<Kind&>(band).Kind::parse_scale_factor_selection(reader, crc);
  });
}

void BandPool::parse_layer2_scale_factors(MpegFileReader& reader, const FrameHeader& header) {
  for_each_band(layer2_, layer2_stereo_, layer2_intensity_, [&](auto& band) {
    using Kind = std::remove_reference_t<decltype(band)>;
    static_cast<Kind&>(band).Kind::parse_scale_factors(reader, header, samples_);
  });
}

}  // namespace mpegin
