#ifndef MPEGIN_LAYER3_STEREO_TABLES_H
#define MPEGIN_LAYER3_STEREO_TABLES_H


namespace mpegin {

// MPEG-1 intensity ratios tan(p * pi / 12) for positions p = 0..15; entry 6 (an infinite
// tangent) holds 1.0e11 and entry 12 holds exactly 0.0.
extern const float intensity_ratio_table[16];

// MPEG-2 LSF intensity factors: row 0 holds 2^(-n/4), row 1 2^(-n/2), n = 0..31.
extern const float lsf_intensity_table[2][32];

}  // namespace mpegin

#endif
