#include "layer3/huffman_decoder.h"

#include <algorithm>
#include <cstdint>

#include "bitstream/big_endian.h"
#include "layer3/huffman_direct_tables.h"
#include "layer3/layer3_decoder.h"
#include "layer3/scale_factor_band_table.h"

namespace mpegin {
namespace {

#if UINTPTR_MAX == 0xFFFFFFFFu
// 32-bit targets, with few registers: short symbols (direct table, signs included) come from a
// 32-bit window, long ones from a 64-bit load at the position. The position is not counted
// per symbol but derived from the window's start and the bits left in it, so that the loop's
// state fits the registers.
class SymbolReader {
 public:
  using Window = uint32_t;
  SymbolReader(const BitReservoir& reservoir, int32_t position) : reservoir_(reservoir) { load(position); }
  // At least `needed` (<= 25) valid bits, MSB-aligned.
  Window direct(uint32_t needed) {
    if (valid_ < static_cast<int32_t>(needed)) load(position());
    return window_;
  }
  // At least 57 valid bits, MSB-aligned.
  uint64_t bits(uint32_t) const { return reservoir_.window(position()); }
  void consume(uint32_t count) {
    window_ = count < 32 ? window_ << count : 0;
    valid_ -= static_cast<int32_t>(count);
  }
  int32_t position() const { return end_ - valid_; }

 private:
  void load(int32_t position) {
    const uint32_t word = load_big_endian32(reservoir_.ring + BitReservoir::byte_of(position));
    const uint32_t skip = static_cast<uint32_t>(position) & 7u;
    window_ = word << skip;
    valid_ = static_cast<int32_t>(32u - skip);
    end_ = position + valid_;
  }

  const BitReservoir& reservoir_;
  uint32_t window_ = 0;
  int32_t valid_ = 0;  // below 0 once a long symbol ran past the window
  int32_t end_ = 0;    // stream position just past the window's last valid bit
};
#else
// Hands out the reservoir's bits from a 64-bit window that is reloaded only when
// fewer bits remain in it than the longest symbol of the current table needs, so
// that consecutive symbols do not wait for a memory load.
class SymbolReader {
 public:
  using Window = uint64_t;
  SymbolReader(const BitReservoir& reservoir, int32_t position)
      : reservoir_(reservoir), position_(position) {
    load();
  }
  // The bits for a direct-table lookup.
  Window direct(uint32_t needed) { return bits(needed); }
  // At least `needed` (<= 57) valid bits, MSB-aligned.
  uint64_t bits(uint32_t needed) {
    if (valid_ < needed) load();
    return bits_;
  }
  void consume(uint32_t count) {
    bits_ <<= count;
    valid_ -= count;
    position_ += static_cast<int32_t>(count);
  }
  int32_t position() const { return position_; }

 private:
  void load() {
    bits_ = reservoir_.window(position_);
    valid_ = 64u - (static_cast<uint32_t>(position_) & 7u);
  }

  const BitReservoir& reservoir_;
  int32_t position_;
  uint64_t bits_ = 0;
  uint32_t valid_ = 0;
};
#endif

// The first n bits of an MSB-aligned window as a number.
inline uint32_t leading(SymbolReader::Window window, uint32_t n) {
  return static_cast<uint32_t>(window >> (8 * sizeof window - n));
}

}  // namespace

void Layer3Decoder::decode_huffman(uint32_t ch, uint32_t gr) {
  const GranuleInfo& gi = granule_info(ch, gr);
  const int32_t end = part2_start + gi.part2_3_length;
  SymbolReader in(reservoir, reservoir.bits_read);

  // Region limits in lines. Region counts can name bands past the last boundary in
  // a corrupt stream; they then end at line 576. More than 288 big values would
  // describe more than 576 lines: the big-value area ends at line 576.
  // A short-block granule's first region holds three short bands of each window: 36 lines,
  // 72 at 8000 Hz.
  int32_t region1 = 3 * band_tables[band_table_index].short_bounds[3];
  int32_t region2 = 576;
  if (!gi.is_short_block()) {
    const int32_t* bounds = band_tables[band_table_index].long_bounds;
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
      // The direct bits and the two sign bits behind them.
      const SymbolReader::Window bits = in.direct(kHuffmanDirectBits + 2);
      const uint32_t entry = direct[leading(bits, kHuffmanDirectBits)];
      if (huffman_direct_length(entry) != 0) {
        huffman_direct_pair(entry, bits, quantized + i);
        in.consume(huffman_direct_length(entry));
      } else {
        in.consume(decode_huffman_pair(table, in.bits(needed), quantized + i));
      }
    }
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
    const uint32_t entry = next_quad();
    for (uint32_t k = 0; k < 4; ++k) quantized[i + static_cast<int32_t>(k)] = huffman_direct_quad_value(entry, k);
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
  reservoir.bits_read = end;

  nonzero_count[ch] = std::min(i, 576);
  for (; i < 576; ++i) quantized[i] = 0;
}

}  // namespace mpegin
