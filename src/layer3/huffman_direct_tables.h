#ifndef MPEGIN_LAYER3_HUFFMAN_DIRECT_TABLES_H
#define MPEGIN_LAYER3_HUFFMAN_DIRECT_TABLES_H

#include <cstdint>

#include "layer3/startup_table.h"

namespace mpegin {

// Single-lookup decoding of the Layer III Huffman codes: indexed by the next
// kHuffmanDirectBits bits of the stream, an entry holds a whole symbol with its signs
// applied, whenever the code and its sign bits fit into those bits (the short codes,
// which are the frequent ones). Built once from the multi-level tables.
//   pair entry:      bits 0..3 symbol length (code + sign bits), 0 when the entry does not
//                    resolve the symbol (a longer one, or an escape value 15 of a table
//                    with linbits); bits 4..8 x, bits 9..13 y, each five-bit two's complement
//   quadruple entry: bits 0..3 symbol length; bits 4..5 v, 6..7 w, 8..9 x, 10..11 y,
//                    each two-bit two's complement (every quadruple resolves)
constexpr uint32_t kHuffmanDirectBits = 10;
constexpr uint32_t kHuffmanDirectSize = 1u << kHuffmanDirectBits;

// Entries per table 0..33; tables without codes (0, 4, 14) resolve nothing.
extern const StartupTable<uint16_t[kHuffmanDirectSize], 34> huffman_direct;

inline uint32_t huffman_direct_length(uint32_t entry) { return entry & 15u; }

// Value k of an entry whose fields are `width` bits wide starting at bit 4.
inline int32_t huffman_direct_value(uint32_t entry, uint32_t width, uint32_t k) {
  const uint32_t top = 4u + width * (k + 1u);   // one past the field's highest bit
  return static_cast<int32_t>(entry << (32u - top)) >> (32u - width);
}

}  // namespace mpegin

#endif
