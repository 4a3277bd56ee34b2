#pragma once

#include <cstdint>

namespace mpegin {

struct GranuleInfo;
struct Layer3ScaleFactors;
struct ScaleFactorBandTable;

// How the two channels of a frame are coded.
struct StereoCoding {
  uint32_t channel_count;  // 1: nothing to undo
  bool mid_side;
  bool intensity;
  bool lsf;  // intensity positions of the LSF kind
};

// From the header's fields: mode 1 (joint stereo) gives the mode extension its meaning.
StereoCoding stereo_coding(uint32_t channel_count, uint32_t mode, uint32_t mode_extension,
                           bool lsf);

// Left and right spectra (out[0], out[1]) of one granule from the requantised channels (in[0],
// in[1]; one channel is copied). Intensity positions are the scale factors `sf` of the second
// channel, whose granule is `gi`; lsf_k is working space for the LSF factors. Lines from
// `nonzero_lines` on are +0 in both channels (as requantisation leaves the lines past the
// decoded ones): without intensity coding their output is +0 too and is not computed.
void process_stereo(const float (*in)[576], const StereoCoding& coding, const GranuleInfo& gi,
                    const Layer3ScaleFactors& sf, const ScaleFactorBandTable& table,
                    float (*lsf_k)[576], float (*out)[576], int32_t nonzero_lines = 576);

}  // namespace mpegin
