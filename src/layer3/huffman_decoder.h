#pragma once

#include <cstdint>

#include "layer3/bit_reservoir.h"
#include "layer3/huffman_tables.h"

namespace mpegin {

// Value of the code at the top of `bits` (the stream, MSB-aligned); adds the code
// length to `used`.
inline uint32_t huffman_code_value(const HuffmanTable& table, uint64_t bits, uint32_t& used) {
  uint32_t width = table.lookup_bits;
  uint32_t entry = table.lookup[bits >> (64u - width)];
  uint32_t consumed = 0;
  while (entry & kHuffmanPointer) {
    consumed += width;
    width = (entry >> kHuffmanWidthShift) & 15u;
    entry = table.lookup[(entry & kHuffmanOffsetMask) + ((bits << consumed) >> (64u - width))];
  }
  used += consumed + ((entry >> kHuffmanLengthShift) & 31u);
  return entry & 0xFFu;
}

// Applies the next bit as the sign of a non-zero value; reads nothing for 0.
inline int32_t huffman_signed(int32_t magnitude, uint64_t bits, uint32_t& used) {
  const uint32_t nonzero = magnitude != 0;
  const uint32_t negative = static_cast<uint32_t>((bits << used) >> 63) & nonzero;
  used += nonzero;
  return negative ? -magnitude : magnitude;
}

// One pair from a table with codes, read from `bits` (at least 47 valid bits: code,
// then x's linbits and sign, then y's linbits and sign). Returns the bits used.
inline uint32_t decode_huffman_pair(const HuffmanTable& table, uint64_t bits, int32_t* out) {
  uint32_t used = 0;
  const uint32_t value = huffman_code_value(table, bits, used);
  int32_t x = static_cast<int32_t>(value >> 4);
  int32_t y = static_cast<int32_t>(value & 15u);
  const uint32_t linbits = table.linbits;
  if (linbits != 0 && x == 15) {
    x += static_cast<int32_t>((bits << used) >> (64u - linbits));
    used += linbits;
  }
  out[0] = huffman_signed(x, bits, used);
  if (linbits != 0 && y == 15) {
    y += static_cast<int32_t>((bits << used) >> (64u - linbits));
    used += linbits;
  }
  out[1] = huffman_signed(y, bits, used);
  return used;
}

// One quadruple (v, w, x, y) from table 32 or 33: code, then the signs in that order.
inline uint32_t decode_huffman_quad(const HuffmanTable& table, uint64_t bits, int32_t* out) {
  uint32_t used = 0;
  const uint32_t value = huffman_code_value(table, bits, used);
  for (int k = 0; k < 4; ++k)
    out[k] = huffman_signed(static_cast<int32_t>((value >> (3 - k)) & 1u), bits, used);
  return used;
}

// Decodes one symbol of table 0..33 from the reservoir: a pair into x, y (v, w set to
// 0), or for tables 32 and 33 a quadruple into v, w, x, y. Tables without codes
// (0, 4, 14) give zeros and read nothing.
void decode_huffman_symbol(uint32_t table, int32_t& x, int32_t& y, int32_t& v, int32_t& w,
                           BitReservoir& reservoir);

}  // namespace mpegin
