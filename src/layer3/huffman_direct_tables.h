#ifndef MPEGIN_LAYER3_HUFFMAN_DIRECT_TABLES_H
#define MPEGIN_LAYER3_HUFFMAN_DIRECT_TABLES_H

#include <cstdint>

#include "layer3/startup_table.h"

namespace mpegin {

// Single-lookup decoding of the Layer III Huffman codes: indexed by the next
// kHuffmanDirectBits bits of the stream, an entry holds a whole symbol, signs applied, whenever
// its code and sign bits fit into those bits (the short codes, which are the frequent ones).
// Built once from the multi-level tables.
//   pair entry:      bits 0..3 symbol length (code + sign bits); bits 4..8 x, bits 9..13 y, each
//                    five-bit two's complement.
//                    Or, when only the code fits (its sign bits do not), bit 15 set: bits 0..3
//                    code length, bits 4..7 |x|, bits 8..11 |y|; the signs follow in the stream.
//                    0 when the entry does not resolve the symbol (a longer code, or an escape
//                    value 15 of a table with linbits).
//   quadruple entry: bits 0..3 symbol length; bits 4..5 v, 6..7 w, 8..9 x, 10..11 y, each
//                    two-bit two's complement (every quadruple, signs included, fits the
//                    direct bits)
constexpr uint32_t kHuffmanDirectBits = 10;
constexpr uint32_t kHuffmanDirectSize = 1u << kHuffmanDirectBits;

// Entries per table 0..33; tables without codes (0, 4, 14) resolve nothing.
extern const StartupTable<uint16_t[kHuffmanDirectSize], 34> huffman_direct;

inline uint32_t huffman_direct_length(uint32_t entry) { return entry & 15u; }

constexpr uint32_t kHuffmanDirectUnsigned = 0x8000;

// A pair entry with the signs applied.
inline bool huffman_direct_signed(uint32_t entry) { return entry - 1u < kHuffmanDirectUnsigned - 1u; }

// x and y of a pair entry with the signs applied.
inline int32_t huffman_direct_x(uint32_t entry) { return static_cast<int32_t>(entry << 23) >> 27; }
inline int32_t huffman_direct_y(uint32_t entry) { return static_cast<int32_t>(entry << 18) >> 27; }

// The pair of an entry with bit 15 set, the signs taken from `bits` (the stream at the symbol,
// MSB-aligned in a 32- or 64-bit word): x's sign follows the code when x != 0, then y's when
// y != 0. Returns the symbol length.
template <class Word>
inline uint32_t huffman_direct_unsigned_pair(uint32_t entry, Word bits, int32_t* out) {
  constexpr unsigned kTop = 8 * sizeof(Word) - 1;
  const Word signs = bits << (entry & 15u);
  const int32_t x = static_cast<int32_t>((entry >> 4) & 15u);
  const int32_t y = static_cast<int32_t>((entry >> 8) & 15u);
  const int32_t x_flip = -static_cast<int32_t>(signs >> kTop);
  const int32_t y_flip = -static_cast<int32_t>(static_cast<Word>(signs << (x != 0)) >> kTop);
  out[0] = (x ^ x_flip) - x_flip;  // 0 stays 0 whatever the bit
  out[1] = (y ^ y_flip) - y_flip;
  return (entry & 15u) + (x != 0) + (y != 0);
}

// Value k (v, w, x, y) of a quadruple entry.
inline int32_t huffman_direct_quad_value(uint32_t entry, uint32_t k) {
  return static_cast<int32_t>(entry << (26u - 2u * k)) >> 30;
}

}  // namespace mpegin

#endif
