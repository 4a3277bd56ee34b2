#include "layer3/layer3_scale_factors.h"

#include "bitstream/bit_reader.h"
#include "layer3/layer3_side_info.h"

namespace mpegin {
namespace {

// (slen1, slen2) by MPEG-1 scalefac_compress (ISO/IEC 11172-3).
const uint8_t slen_table[16][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {3, 0}, {1, 1}, {1, 2}, {1, 3},
                                   {2, 1}, {2, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}, {4, 2}, {4, 3}};

// LSF: scale factors per partition, [row][block kind][partition]; block kind 0 long,
// 1 short, 2 mixed (ISO/IEC 13818-3).
const uint8_t nr_of_sfb[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},
    {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}},
    {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},
    {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};

// Reads short bands first..last of all three windows (band outer, window inner).
void read_short_bands(BitReader& bits, Layer3ScaleFactors& sf, int first, int last,
                      uint32_t slen) {
  for (int band = first; band <= last; ++band)
    for (auto& window : sf.scalefac_s)
      window[band] = static_cast<int32_t>(bits.get_bits(slen));
}

void read_long_bands(BitReader& bits, Layer3ScaleFactors& sf, int first, int last,
                     uint32_t slen) {
  for (int band = first; band <= last; ++band)
    sf.scalefac_l[band] = static_cast<int32_t>(bits.get_bits(slen));
}

void clear_top_short_band(Layer3ScaleFactors& sf) {
  for (auto& window : sf.scalefac_s) window[12] = 0;
}

struct LsfLengths {
  uint32_t slen[4];
  int row;
  int32_t preflag;
};

LsfLengths lsf_lengths(uint32_t sfc, bool intensity_variant) {
  if (!intensity_variant) {
    if (sfc < 400)
      return {{(sfc >> 4) / 5, (sfc >> 4) % 5, (sfc >> 2) % 4, sfc % 4}, 0, 0};
    if (sfc < 500) {
      const uint32_t t = (sfc - 400) >> 2;
      return {{t / 5, t % 5, (sfc - 400) % 4, 0}, 1, 0};
    }
    const uint32_t t = sfc - 500;
    return {{t / 3, t % 3, 0, 0}, 2, 1};
  }
  const uint32_t isc = sfc >> 1;
  if (isc < 180) return {{isc / 36, (isc % 36) / 6, (isc % 36) % 6, 0}, 3, 0};
  if (isc < 244) {
    const uint32_t t = isc - 180;
    return {{t >> 4, (t >> 2) % 4, t % 4, 0}, 4, 0};
  }
  if (isc < 255) {
    const uint32_t t = isc - 244;
    return {{t / 3, t % 3, 0, 0}, 5, 0};
  }
  // isc = 255 matches no range of ISO/IEC 13818-3: read nothing.
  return {{0, 0, 0, 0}, 5, 0};
}

}  // namespace

void read_scale_factors(BitReader& bits, const GranuleInfo& gi, const int32_t* scfsi, uint32_t gr,
                        Layer3ScaleFactors& sf) {
  const uint32_t slen1 = slen_table[gi.scalefac_compress & 15][0];
  const uint32_t slen2 = slen_table[gi.scalefac_compress & 15][1];

  if (gi.is_short_block()) {
    if (gi.mixed_block_flag) {
      read_long_bands(bits, sf, 0, 7, slen1);
      read_short_bands(bits, sf, 3, 5, slen1);
    } else {
      read_short_bands(bits, sf, 0, 5, slen1);
    }
    read_short_bands(bits, sf, 6, 11, slen2);
    clear_top_short_band(sf);
    return;
  }

  // Long blocks: four band groups; in granule 1 a group whose scfsi bit is set keeps
  // the values of granule 0.
  static const int group_first[4] = {0, 6, 11, 16};
  static const int group_last[4] = {5, 10, 15, 20};
  for (int group = 0; group < 4; ++group) {
    if (gr == 0 || scfsi[group] == 0)
      read_long_bands(bits, sf, group_first[group], group_last[group],
                      group < 2 ? slen1 : slen2);
  }
  sf.scalefac_l[21] = sf.scalefac_l[22] = 0;
}

void read_lsf_scale_factors(BitReader& bits, GranuleInfo& gi, bool intensity_positions,
                            Layer3ScaleFactors& sf) {
  const int block_kind = !gi.is_short_block() ? 0 : (gi.mixed_block_flag ? 2 : 1);
  const LsfLengths lengths =
      lsf_lengths(static_cast<uint32_t>(gi.scalefac_compress) & 511, intensity_positions);
  gi.preflag = lengths.preflag;

  int32_t buffer[45] = {};
  int count = 0;
  for (int part = 0; part < 4; ++part) {
    for (int k = nr_of_sfb[lengths.row][block_kind][part]; k > 0; --k)
      buffer[count++] = static_cast<int32_t>(bits.get_bits(lengths.slen[part]));
  }

  if (block_kind == 0) {
    for (int band = 0; band < 21; ++band) sf.scalefac_l[band] = buffer[band];
    sf.scalefac_l[21] = sf.scalefac_l[22] = 0;
    return;
  }
  // Short and mixed blocks. A mixed block (ISO/IEC 13818-3) holds long bands 0..5,
  // which cover lines 0..35 at every LSF rate, then short bands 3..11.
  int entry = 0;
  int first_short = 0;
  if (block_kind == 2) {
    for (int band = 0; band < 6; ++band) sf.scalefac_l[band] = buffer[entry++];
    sf.scalefac_l[6] = sf.scalefac_l[7] = 0;
    first_short = 3;
  }
  for (int band = first_short; band < 12; ++band)
    for (auto& window : sf.scalefac_s) window[band] = buffer[entry++];
  clear_top_short_band(sf);
}

}  // namespace mpegin
