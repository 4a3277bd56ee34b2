#pragma once

#include <cstdint>

namespace mpegin {

class BitReader;
struct GranuleInfo;

// Scale factors of one channel; they persist across granules (scfsi reuse).
struct Layer3ScaleFactors {
  int32_t scalefac_l[23];      // long bands 0..22; 21 and 22 carry none of their own (0)
  int32_t scalefac_s[3][13];   // [window][short band]; band 12 carries none (0)
};

// MPEG-1: the scale factors of granule gr of one channel. In granule 1 a long-block band group
// whose scfsi bit is set keeps the values of granule 0 (those in sf).
void read_scale_factors(BitReader& bits, const GranuleInfo& gi, const int32_t* scfsi, uint32_t gr,
                        Layer3ScaleFactors& sf);
// MPEG-2 LSF: the scale factors of one channel's granule; sets gi.preflag, which LSF streams
// do not transmit. `intensity_positions`: the right channel of an intensity-coded frame, whose
// scale factors are intensity positions coded their own way.
void read_lsf_scale_factors(BitReader& bits, GranuleInfo& gi, bool intensity_positions,
                            Layer3ScaleFactors& sf);

}  // namespace mpegin
