#include "layer3/stereo_processing.h"

#include <cstdint>

#include "layer3/layer3_scale_factors.h"
#include "layer3/layer3_side_info.h"
#include "layer3/scale_factor_band_table.h"
#include "layer3/stereo_tables.h"

namespace mpegin {

namespace {

constexpr int32_t kNotIntensity = 7;
constexpr float kInverseSqrt2 = 0.70710677f;
// See requantize.cpp: the long part of a mixed block ends at line 36 in every band table.
constexpr int32_t kMixedLongLines = 36;

// Intensity positions and MPEG-1 ratios of one granule, and how lines are assigned to them.
class IntensityMap {
 public:
  IntensityMap(float (*lsf_k)[576], bool lsf, int32_t io_type)
      : lsf_k_(lsf_k), lsf_(lsf), io_type_(io_type) {
    for (int32_t& p : is_pos) p = kNotIntensity;
  }

  // Gives lines [begin, end) the intensity position p.
  void assign(int32_t begin, int32_t end, int32_t p) {
    // An MPEG-1 position of 9 has the ratio tan(3 pi / 4) = -1, for which the intensity
    // formula divides by zero; such lines are decoded as if they were not intensity-coded.
    // Positions beyond the table cannot come from four-bit scale factors.
    if (!lsf_ && (p == 9 || p > 15)) p = kNotIntensity;
    for (int32_t line = begin; line < end; ++line) {
      is_pos[line] = p;
      if (p == kNotIntensity) continue;
      if (lsf_) {
        lsf_factors(p, static_cast<uint32_t>(line));
      } else {
        is_ratio[line] = intensity_ratio_table[static_cast<uint32_t>(p)];
      }
    }
  }

  // Lines [begin, end) take over the position and factors of line `source`.
  void copy(int32_t begin, int32_t end, int32_t source) {
    const int32_t p = is_pos[source];
    for (int32_t line = begin; line < end; ++line) {
      is_pos[line] = p;
      if (p == kNotIntensity) continue;
      is_ratio[line] = is_ratio[source];
      lsf_k_[0][line] = lsf_k_[0][source];
      lsf_k_[1][line] = lsf_k_[1][source];
    }
  }

  int32_t is_pos[576];
  float is_ratio[576];

 private:
  // The LSF factors of the left and right channel for intensity position is_pos.
  void lsf_factors(int32_t is_pos, uint32_t line) {
    const float* factors = lsf_intensity_table[static_cast<uint32_t>(io_type_) & 1u];
    if (is_pos == 0) {
      lsf_k_[0][line] = 1.0f;
      lsf_k_[1][line] = 1.0f;
    } else if (is_pos & 1) {
      lsf_k_[0][line] = factors[((is_pos + 1) / 2) & 31];
      lsf_k_[1][line] = 1.0f;
    } else {
      lsf_k_[0][line] = 1.0f;
      lsf_k_[1][line] = factors[(is_pos / 2) & 31];
    }
  }

  float (*lsf_k_)[576];
  bool lsf_;
  int32_t io_type_;
};

// The short band (12 down to `first`) holding the highest non-zero line of window w;
// `none` when the window is zero there.
int32_t highest_nonzero_short_band(const float* right, const int32_t* bounds, int32_t w,
                                   int32_t first, int32_t none) {
  for (int32_t b = 12; b >= first; --b) {
    const int32_t width = bounds[b + 1] - bounds[b];
    const int32_t begin = 3 * bounds[b] + w * width;
    for (int32_t line = begin + width - 1; line >= begin; --line) {
      if (right[line] != 0.0f) return b;
    }
  }
  return none;
}

// First long band whose lower bound lies above the highest non-zero line below `end`
// (band 0 when there is none: a silent second channel is intensity-coded throughout).
int32_t first_long_band_above_nonzero(const float* right, const int32_t* bounds, int32_t end) {
  int32_t line = end - 1;
  while (line >= 0 && right[line] == 0.0f) --line;
  int32_t sfb = 0;
  while (sfb < 22 && bounds[sfb] <= line) ++sfb;
  return sfb;
}

// A line without intensity coding: mid/side or left/right as transmitted.
inline void decode_plain_line(const float* a, const float* b, float* left, float* right,
                              int32_t i, bool ms) {
  if (ms) {
    left[i] = (a[i] + b[i]) * kInverseSqrt2;
    right[i] = (a[i] - b[i]) * kInverseSqrt2;
  } else {
    left[i] = a[i];
    right[i] = b[i];
  }
}

void mark_short_windows(IntensityMap& map, const float* right, const int32_t* bounds,
                        const Layer3ScaleFactors& sf, int32_t first_band, int32_t none,
                        int32_t& max_sfb) {
  for (int32_t w = 0; w < 3; ++w) {
    const int32_t sfbcnt = highest_nonzero_short_band(right, bounds, w, first_band, none);
    if (sfbcnt + 1 > max_sfb) max_sfb = sfbcnt + 1;
    for (int32_t b = sfbcnt + 1; b < 12; ++b) {
      const int32_t width = bounds[b + 1] - bounds[b];
      const int32_t begin = 3 * bounds[b] + w * width;
      map.assign(begin, begin + width, sf.scalefac_s[w][b]);
    }
    const int32_t width11 = bounds[12] - bounds[11];
    const int32_t width12 = bounds[13] - bounds[12];
    const int32_t begin12 = 3 * bounds[12] + w * width12;
    map.copy(begin12, begin12 + width12, 3 * bounds[11] + w * width11);
  }
}

}  // namespace

StereoCoding stereo_coding(uint32_t channel_count, uint32_t mode, uint32_t mode_extension,
                           bool lsf) {
  const bool joint = channel_count == 2 && mode == 1;
  return {channel_count, joint && (mode_extension & 2u) != 0, joint && (mode_extension & 1u) != 0,
          lsf};
}

void process_stereo(const float (*in)[576], const StereoCoding& coding, const GranuleInfo& gi,
                    const Layer3ScaleFactors& sf, const ScaleFactorBandTable& table,
                    float (*lsf_k)[576], float (*out)[576], int32_t nonzero_lines) {
  float* left = out[0];
  float* right = out[1];
  const float* a = in[0];
  const float* b = in[1];
  if (coding.channel_count == 1) {
    for (int32_t i = 0; i < 576; ++i) left[i] = a[i];
    return;
  }

  const bool ms = coding.mid_side;
  if (!coding.intensity) {
    const int32_t end = nonzero_lines < 0 ? 0 : nonzero_lines < 576 ? nonzero_lines : 576;
    for (int32_t i = 0; i < end; ++i) decode_plain_line(a, b, left, right, i, ms);
    for (int32_t i = end; i < 576; ++i) left[i] = right[i] = 0.0f;
    return;
  }

  const bool lsf = coding.lsf;
  // Intensity positions are the second channel's scale factors, laid out by its block type,
  // and its scalefac_compress carries the LSF intensity scale in bit 0.
  const int32_t io_type = gi.scalefac_compress & 1;

  IntensityMap map(lsf_k, lsf, io_type);
  if (gi.is_short_block()) {
    const bool mixed = gi.mixed_block_flag == 1;
    int32_t max_sfb = 0;
    mark_short_windows(map, b, table.short_bounds, sf, mixed ? 3 : 0, mixed ? 2 : -1, max_sfb);
    if (mixed && max_sfb <= 3) {
      const int32_t sfb = first_long_band_above_nonzero(b, table.long_bounds, kMixedLongLines);
      for (int32_t band = sfb; table.long_bounds[band + 1] <= kMixedLongLines; ++band) {
        map.assign(table.long_bounds[band], table.long_bounds[band + 1], sf.scalefac_l[band]);
      }
    }
  } else {
    const int32_t sfb = first_long_band_above_nonzero(b, table.long_bounds, 576);
    for (int32_t band = sfb; band <= 20; ++band) {
      map.assign(table.long_bounds[band], table.long_bounds[band + 1], sf.scalefac_l[band]);
    }
    map.copy(table.long_bounds[21], 576, table.long_bounds[20]);
  }

  for (int32_t i = 0; i < 576; ++i) {
    const int32_t p = map.is_pos[i];
    if (p == kNotIntensity) {
      decode_plain_line(a, b, left, right, i, ms);
    } else if (lsf) {
      left[i] = a[i] * lsf_k[0][i];
      right[i] = a[i] * lsf_k[1][i];
    } else {
      const float ratio = map.is_ratio[i];
      const float t = a[i] / (ratio + 1.0f);
      left[i] = t * ratio;
      right[i] = t;
    }
  }
}

}  // namespace mpegin
