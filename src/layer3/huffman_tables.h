#pragma once

#include <cstdint>

namespace mpegin {

// One Layer III Huffman table: 0..31 code pairs (x, y), 32 (A) and 33 (B) code
// quadruples (v, w, x, y). The codes are held as a multi-level lookup table of
// 16-bit entries, indexed first by the next `lookup_bits` bits of the stream:
//   leaf:    bit 15 clear; bits 8..12 = code bits consumed at this level plus
//            the symbol's sign bits (one per non-zero value), so that the next
//            symbol's position is known before the signs are applied;
//            bits 0..7 = the value (16x + y, or 8v + 4w + 2x + y)
//   pointer: bit 15 set; bits 11..14 = index width of the next level;
//            bits 0..10 = offset of the next level within `lookup`
struct HuffmanTable {
  const uint16_t* lookup;   // null for the tables without codes (0, 4, 14)
  uint8_t lookup_bits;
  uint8_t linbits;          // extra bits read when a value reaches 15
  uint8_t x_values;
  uint8_t y_values;
  uint8_t symbol_bits;      // longest symbol: code, linbits and sign bits
};

constexpr uint16_t kHuffmanPointer = 0x8000;
constexpr uint32_t kHuffmanLengthShift = 8;
constexpr uint32_t kHuffmanWidthShift = 11;
constexpr uint32_t kHuffmanOffsetMask = 0x7FF;

extern const HuffmanTable huffman_tables[34];

}  // namespace mpegin
