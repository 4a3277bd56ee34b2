#pragma once

#include <cstdint>

#include "layer3/huffman_tables.h"

namespace mpegin {

class BitReader;
struct GranuleInfo;
struct ScaleFactorBandTable;

// The Huffman data of one granule, read from the reservoir from data's position on, into
// quantized[576]: big values in three regions, then quadruples until the granule's data
// (data.end()) is used up or the spectrum is full; the lines after the last decoded one are zero.
// Returns the count of decoded lines; the bits after the last quadruple are stuffing.
//
// A last quadruple that runs past the end is dropped (some encoders write one). Big values that
// run past the end are damage: -1 then.
int32_t decode_huffman(const BitReader& data, const GranuleInfo& gi,
                       const ScaleFactorBandTable& bands, int32_t* quantized);

// Looks up the code at the top of `bits` (the stream, MSB-aligned). Returns the
// leaf value and sets `length` to the code bits plus the symbol's sign bits.
inline uint32_t huffman_lookup(const HuffmanTable& table, uint64_t bits, uint32_t& length) {
  uint32_t width = table.lookup_bits;
  uint32_t entry = table.lookup[bits >> (64u - width)];
  uint32_t consumed = 0;
  while (entry & kHuffmanPointer) {
    consumed += width;
    width = (entry >> kHuffmanWidthShift) & 15u;
    entry = table.lookup[(entry & kHuffmanOffsetMask) + ((bits << consumed) >> (64u - width))];
  }
  length = consumed + ((entry >> kHuffmanLengthShift) & 31u);
  return entry & 0xFFu;
}

// `magnitude`, negated when the top bit of `signs` is set (0 stays 0).
inline int32_t huffman_apply_sign(int32_t magnitude, uint64_t signs) {
  const int32_t flip = -static_cast<int32_t>(signs >> 63);
  return (magnitude ^ flip) - flip;
}

// Pair with an escape value of a linbits table, read in stream order: code, x's
// linbits, x's sign, y's linbits, y's sign. `used` enters as the code length.
inline uint32_t decode_escaped_pair(uint32_t linbits, uint64_t bits, uint32_t used, int32_t x,
                                    int32_t y, int32_t* out) {
  if (x == 15) {
    x += static_cast<int32_t>((bits << used) >> (64u - linbits));
    used += linbits;
  }
  out[0] = huffman_apply_sign(x, bits << used);
  used += x != 0;
  if (y == 15) {
    y += static_cast<int32_t>((bits << used) >> (64u - linbits));
    used += linbits;
  }
  out[1] = huffman_apply_sign(y, bits << used);
  used += y != 0;
  return used;
}

// One pair from a table with codes, read from `bits` (at least 47 valid bits).
// Returns the bits used. Without escape values the signs follow the code directly.
inline uint32_t decode_huffman_pair(const HuffmanTable& table, uint64_t bits, int32_t* out) {
  uint32_t length;
  const uint32_t value = huffman_lookup(table, bits, length);
  const int32_t x = static_cast<int32_t>(value >> 4);
  const int32_t y = static_cast<int32_t>(value & 15u);
  const uint32_t x_sign = x != 0;
  const uint32_t code_length = length - x_sign - (y != 0);
  if (table.linbits != 0 && (x == 15 || y == 15))
    return decode_escaped_pair(table.linbits, bits, code_length, x, y, out);
  const uint64_t signs = bits << code_length;
  out[0] = huffman_apply_sign(x, signs);
  out[1] = huffman_apply_sign(y, signs << x_sign);
  return length;
}

// One quadruple (v, w, x, y) from table 32 or 33: code, then the signs in that order.
inline uint32_t decode_huffman_quad(const HuffmanTable& table, uint64_t bits, int32_t* out) {
  uint32_t length;
  const uint32_t value = huffman_lookup(table, bits, length);
  uint32_t nonzero = 0;
  for (uint32_t v = value; v != 0; v &= v - 1) ++nonzero;
  uint64_t signs = bits << (length - nonzero);
  for (int k = 0; k < 4; ++k) {
    const uint32_t present = (value >> (3 - k)) & 1u;
    out[k] = huffman_apply_sign(static_cast<int32_t>(present), signs);
    signs <<= present;
  }
  return length;
}

}  // namespace mpegin
