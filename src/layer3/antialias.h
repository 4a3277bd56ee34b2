#ifndef MPEGIN_LAYER3_ANTIALIAS_H
#define MPEGIN_LAYER3_ANTIALIAS_H

namespace mpegin {

struct GranuleInfo;

// Butterfly coefficients from the antialias coefficients c_i of ISO/IEC 11172-3
// (-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037):
// alias_cs[i] = 1 / sqrt(1 + c_i^2), alias_ca[i] = c_i / sqrt(1 + c_i^2).
extern const float alias_cs[8];
extern const float alias_ca[8];

// The butterflies between neighbouring subbands of hybrid[576] (line 18 * subband + slot): all
// 31 boundaries of a long block, the one between the two long subbands of a mixed block, none
// in a short block.
void antialias(const GranuleInfo& gi, float* hybrid);

}  // namespace mpegin

#endif
