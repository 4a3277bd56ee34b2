#include "layer3/huffman_decoder.h"

#include <algorithm>
#include <cstdint>

#include "bitstream/bit_reader.h"
#include "layer3/bit_reservoir.h"
#include "layer3/huffman_direct_tables.h"
#include "layer3/layer3_side_info.h"
#include "layer3/scale_factor_band_table.h"
#include "synthesis/sse2_support.h"

namespace mpegin {
namespace {

using GranuleBits = CachedBits<BitReservoir::kIndexMask>;

// The first n bits of an MSB-aligned window as a number.
inline uint32_t leading(GranuleBits::Window window, uint32_t n) {
  return static_cast<uint32_t>(window >> (8 * sizeof window - n));
}

// The four values of a quadruple entry into out[0..3].
inline void store_quad(uint32_t entry, int32_t* out) {
#if MPEGIN_SSE2
  // Value k's two bits moved to the top of 16-bit lane k by one multiplication, shifted down
  // with their sign, then widened to 32 bits.
  const __m128i lanes = _mm_shufflelo_epi16(_mm_cvtsi32_si128(static_cast<int>(entry)), 0);
  const __m128i values = _mm_srai_epi16(_mm_mullo_epi16(lanes, _mm_setr_epi16(1 << 10, 1 << 8, 1 << 6, 1 << 4, 0, 0, 0, 0)), 14);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_srai_epi32(_mm_unpacklo_epi16(values, values), 16));
#else
  for (uint32_t k = 0; k < 4; ++k) out[k] = huffman_direct_quad_value(entry, k);
#endif
}

}  // namespace

int32_t decode_huffman(const BitReader& data, const GranuleInfo& gi, const ScaleFactorBandTable& bands,
                       int32_t* quantized) {
  const int32_t end = data.end();
  GranuleBits in(data);

  // Region limits in lines. Region counts can name bands past the last boundary in
  // a corrupt stream; they then end at line 576. More than 288 big values would
  // describe more than 576 lines: the big-value area ends at line 576.
  // A short-block granule's first region holds three short bands of each window: 36 lines,
  // 72 at 8000 Hz.
  int32_t region1 = 3 * bands.short_bounds[3];
  int32_t region2 = 576;
  if (!gi.is_short_block()) {
    const int32_t* bounds = bands.long_bounds;
    region1 = bounds[std::min(gi.region0_count + 1, 22)];
    region2 = bounds[std::min(gi.region0_count + gi.region1_count + 2, 22)];
  }
  const int32_t big_end = 2 * std::min(gi.big_values, 288);
  const int32_t limits[3] = {std::min(region1, big_end), std::min(region2, big_end), big_end};

  int32_t i = 0;
  for (int region = 0; region < 3; ++region) {
    const int32_t limit = limits[region];
    const uint32_t t = gi.table_select[region] & 31u;
    const HuffmanTable& table = huffman_tables[t];
    if (table.lookup == nullptr) {
      for (; i < limit; ++i) quantized[i] = 0;
      continue;
    }
    // Short symbols come whole from the direct table; the others (long codes, escape
    // values) through the multi-level table.
    const uint16_t* direct = huffman_direct[t];
    const uint32_t needed = table.symbol_bits;
    for (; i < limit; i += 2) {
      const uint32_t entry = direct[leading(in.direct(kHuffmanDirectBits), kHuffmanDirectBits)];
      if (huffman_direct_signed(entry)) {
        quantized[i] = huffman_direct_x(entry);
        quantized[i + 1] = huffman_direct_y(entry);
        in.consume(huffman_direct_length(entry));
      } else if (entry != 0) {
        in.consume(huffman_direct_unsigned_pair(entry, in.direct(kHuffmanDirectBits + 2), quantized + i));
      } else {
        in.consume(decode_huffman_pair(table, in.bits(needed), quantized + i));
      }
    }
    // Big values past the granule's end: the granule claims more data than it has. Each
    // region reads at most 288 pairs, and the reads stay inside the store.
    if (in.position() > end) return -1;
  }

  // Count1 area: quadruples until the granule's bits are used up or the spectrum is
  // full. A quadruple starting at line 574 (odd big_values count) stores two values.
  // Every quadruple with its signs fits the direct table.
  const uint16_t* quads = huffman_direct[32 + (gi.count1table_select & 1)];
  const auto next_quad = [&in, quads]() {
    const uint32_t entry = quads[leading(in.direct(kHuffmanDirectBits), kHuffmanDirectBits)];
    in.consume(huffman_direct_length(entry));
    return entry;
  };
  while (in.position() < end && i <= 572) {
    store_quad(next_quad(), quantized + i);
    i += 4;
  }
  if (in.position() < end && i < 576) {
    const uint32_t entry = next_quad();
    quantized[574] = huffman_direct_quad_value(entry, 0);  // two values, at line 574
    quantized[575] = huffman_direct_quad_value(entry, 1);
    i += 4;
  }

  // The last symbol ran past the granule's data: step back to its end and drop the
  // last four values. Unused bits (stuffing) are skipped.
  if (in.position() > end) i = std::max(i - 4, 0);

  const int32_t count = std::min(i, 576);
  for (; i < 576; ++i) quantized[i] = 0;
  return count;
}

}  // namespace mpegin
