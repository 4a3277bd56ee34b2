#include <gtest/gtest.h>

#include <random>

#include "layer3/huffman_decoder.h"
#include "layer3/scale_factor_band_table.h"
#include "layer3/huffman_direct_tables.h"
#include "layer3/huffman_tables.h"
#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::StageHarness;

// Every entry of every direct table against the multi-level tables, with random bits behind
// the entry's: a resolving entry gives the same values and length; an entry resolves exactly
// the symbols whose code fits the direct bits and needs no linbits, and every quadruple; the
// signs are in the entry when they fit too, except in the large-value tables.
TEST(HuffmanDirectTables, EntriesAgreeWithTheMultiLevelTables) {
  prepare_layer3_tables();
  std::mt19937_64 rng(3);
  for (uint32_t t = 0; t < 34; ++t) {
    const HuffmanTable& table = huffman_tables[t];
    const bool quad = t >= 32;
    for (uint32_t pattern = 0; pattern < kHuffmanDirectSize; ++pattern) {
      const uint32_t entry = huffman_direct[t][pattern];
      if (table.lookup == nullptr) {
        ASSERT_EQ(entry, 0u) << "table " << t;
        continue;
      }
      for (int tail = 0; tail < 8; ++tail) {
        const uint64_t bits = (uint64_t{pattern} << (64 - kHuffmanDirectBits)) |
                              (rng() >> kHuffmanDirectBits);
        int32_t plain[4] = {0, 0, 0, 0};
        const uint32_t length = quad ? decode_huffman_quad(table, bits, plain)
                                     : decode_huffman_pair(table, bits, plain);
        uint32_t symbol_length;
        const uint32_t value = huffman_lookup(table, bits, symbol_length);
        const uint32_t code_length = quad ? symbol_length
                                          : symbol_length - ((value >> 4) != 0) - ((value & 15u) != 0);
        const bool escape = table.linbits != 0 && ((value >> 4) == 15 || (value & 15u) == 15);
        if (code_length > kHuffmanDirectBits || escape) {
          ASSERT_EQ(entry, 0u) << "table " << t << " pattern " << pattern;
          continue;
        }
        int32_t direct[4] = {0, 0, 0, 0};
        if (quad) {
          ASSERT_EQ(huffman_direct_length(entry), length) << "table " << t << " pattern " << pattern;
          for (uint32_t k = 0; k < 4; ++k) direct[k] = huffman_direct_quad_value(entry, k);
        } else if (huffman_direct_signed(entry)) {
          ASSERT_LE(length, kHuffmanDirectBits) << "table " << t << " pattern " << pattern;
          ASSERT_EQ(huffman_direct_length(entry), length) << "table " << t << " pattern " << pattern;
          direct[0] = huffman_direct_x(entry);
          direct[1] = huffman_direct_y(entry);
        } else {  // signs past the direct bits (or in a large-value table) come from the stream
          ASSERT_EQ(huffman_direct_unsigned_pair(entry, bits, direct), length) << "table " << t;
        }
        for (int k = 0; k < 4; ++k)
          ASSERT_EQ(direct[k], plain[k]) << "table " << t << " pattern " << pattern << " value " << k;
      }
    }
  }
}

// The count1 area of a granule, decoded by the loop, against quadruple-by-quadruple decoding
// of the same bits with the multi-level tables, for both quadruple tables.
TEST(HuffmanDirectTables, Count1LoopMatchesQuadrupleDecoding) {
  StageHarness h{1, 3, 0};
  Layer3Scratch& d = h.s;
  GranuleInfo& gi = d.side_info.channel[0].granule[0];
  std::mt19937 rng(17);
  for (uint32_t select = 0; select < 2; ++select) {
    for (int round = 0; round < 8; ++round) {
      gi.window_switching_flag = 0;
      gi.block_type = 0;
      gi.region0_count = 15;
      gi.region1_count = 7;
      gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = 1;
      gi.big_values = static_cast<int32_t>(rng() % 40);
      gi.count1table_select = static_cast<int32_t>(select);
      for (int k = 0; k < 4096; ++k) test::put_byte(h.reservoir, rng());
      const int32_t start = static_cast<int32_t>(rng() % 30000);
      gi.part2_3_length = static_cast<int32_t>(rng() % 1500);
      const int32_t end = start + gi.part2_3_length;
      BitReader bits = h.reservoir.reader(end);
      bits.set_position(start);
      BitReader copy = bits;
      d.nonzero_count[0] = decode_huffman(bits, gi, band_tables[3], d.quantized);

      int32_t expected[580] = {};
      int32_t i = 0;
      for (; i < 2 * gi.big_values; i += 2) {
        int32_t v, w;
        test::decode_huffman_symbol(1, expected[i], expected[i + 1], v, w, copy);
      }
      if (copy.position() > end) {  // big values past the data: damage
        ASSERT_EQ(d.nonzero_count[0], -1) << "select " << select << " round " << round;
        continue;
      }
      while (copy.position() < end && i < 576) {
        test::decode_huffman_symbol(32 + select, expected[i + 2], expected[i + 3], expected[i], expected[i + 1], copy);
        i += 4;
      }
      if (copy.position() > end) i -= 4;  // the last quadruple ran past the data
      if (i > 576) i = 576;
      ASSERT_EQ(d.nonzero_count[0], i) << "select " << select << " round " << round;
      for (int32_t line = 0; line < 576; ++line)
        ASSERT_EQ(d.quantized[line], line < i ? expected[line] : 0)
            << "select " << select << " round " << round << " line " << line;
    }
  }
}

}  // namespace
}  // namespace mpegin
