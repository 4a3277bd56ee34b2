#ifndef MPEGIN_LAYER3_HUFFMAN_DIRECT_TABLES_H
#define MPEGIN_LAYER3_HUFFMAN_DIRECT_TABLES_H

#include <cstdint>

#include "layer3/startup_table.h"

namespace mpegin {

// Single-lookup decoding of the Layer III Huffman codes: indexed by the next
// kHuffmanDirectBits bits of the stream, an entry holds a whole symbol whenever its code fits
// into those bits (the short codes, which are the frequent ones). Built once from the
// multi-level tables.
//   pair entry:      bits 0..3 symbol length (code + sign bits), 0 when the entry does not
//                    resolve the symbol (a longer code, or an escape value 15 of a table with
//                    linbits); bits 4..7 code length; bits 8..11 |x|, bits 12..15 |y|. The
//                    signs are read from the stream behind the code.
//   quadruple entry: bits 0..3 symbol length; bits 4..5 v, 6..7 w, 8..9 x, 10..11 y, each
//                    two-bit two's complement with its sign applied (every quadruple, signs
//                    included, fits the direct bits)
constexpr uint32_t kHuffmanDirectBits = 10;
constexpr uint32_t kHuffmanDirectSize = 1u << kHuffmanDirectBits;

// Entries per table 0..33; tables without codes (0, 4, 14) resolve nothing.
extern const StartupTable<uint16_t[kHuffmanDirectSize], 34> huffman_direct;

inline uint32_t huffman_direct_length(uint32_t entry) { return entry & 15u; }

// The pair of a resolving entry, the signs taken from `bits` (the stream at the symbol,
// MSB-aligned in a 32- or 64-bit word): x's sign follows the code when x != 0, then y's when
// y != 0.
template <class Word>
inline void huffman_direct_pair(uint32_t entry, Word bits, int32_t* out) {
  constexpr unsigned kTop = 8 * sizeof(Word) - 1;
  const Word signs = bits << ((entry >> 4) & 15u);
  const int32_t x = static_cast<int32_t>((entry >> 8) & 15u);
  const int32_t y = static_cast<int32_t>(entry >> 12);
  const int32_t x_flip = -static_cast<int32_t>(signs >> kTop);
  const int32_t y_flip = -static_cast<int32_t>(static_cast<Word>(signs << (x != 0)) >> kTop);
  out[0] = (x ^ x_flip) - x_flip;   // 0 stays 0 whatever the bit
  out[1] = (y ^ y_flip) - y_flip;
}

// Value k (v, w, x, y) of a quadruple entry.
inline int32_t huffman_direct_quad_value(uint32_t entry, uint32_t k) {
  return static_cast<int32_t>(entry << (26u - 2u * k)) >> 30;
}

}  // namespace mpegin

#endif
