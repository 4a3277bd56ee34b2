#pragma once

#include <cstdint>

#include "layer3/layer3_scale_factors.h"
#include "layer3/layer3_side_info.h"

namespace mpegin {

// The working data of one Layer III frame, rewritten by every frame: its side information and
// scale factors, and each stage's output for one granule (two for the stereo output, which is
// kept for both granules until the whole frame has been read).
struct Layer3Scratch {
  Layer3SideInfo side_info;
  Layer3ScaleFactors scale_factors[2];
  alignas(64) int32_t quantized[576];
  alignas(64) float requantized[2][576];
  alignas(64) float stereo_out[2][2][576];  // [granule][channel][line]
  alignas(64) float hybrid[576];            // 32 subbands x 18: line 18 * subband + slot
  alignas(64) float lsf_k[2][576];          // LSF intensity factors of the left and right line
  int32_t nonzero_count[2];                 // decoded lines of each channel's granule

  GranuleInfo& granule(uint32_t ch, uint32_t gr) { return side_info.channel[ch].granule[gr]; }
};

}  // namespace mpegin
