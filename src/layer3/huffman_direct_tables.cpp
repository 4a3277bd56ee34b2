#include "layer3/huffman_direct_tables.h"

#include "layer3/huffman_decoder.h"
#include "layer3/huffman_tables.h"

namespace mpegin {

namespace {

uint16_t field(int32_t value, uint32_t width, uint32_t k) {
  const uint32_t mask = (1u << width) - 1u;
  return static_cast<uint16_t>((static_cast<uint32_t>(value) & mask) << (4u + width * k));
}

// The entry for the stream bits `pattern` (kHuffmanDirectBits of them) of table t.
uint16_t direct_entry(uint32_t t, uint32_t pattern) {
  const HuffmanTable& table = huffman_tables[t];
  if (table.lookup == nullptr) return 0;
  // The bits after the pattern are zeros; a symbol is taken only when it ends within the
  // pattern, so that they never decide it.
  const uint64_t bits = uint64_t{pattern} << (64u - kHuffmanDirectBits);
  int32_t values[4] = {0, 0, 0, 0};
  if (t >= 32) {
    const uint32_t length = decode_huffman_quad(table, bits, values);
    if (length > kHuffmanDirectBits) return 0;
    uint16_t entry = static_cast<uint16_t>(length);
    for (uint32_t k = 0; k < 4; ++k) entry |= field(values[k], 2, k);
    return entry;
  }
  uint32_t length;
  const uint32_t value = huffman_lookup(table, bits, length);
  if (table.linbits != 0 && ((value >> 4) == 15 || (value & 15u) == 15)) return 0;
  if (length > kHuffmanDirectBits) return 0;
  decode_huffman_pair(table, bits, values);
  return static_cast<uint16_t>(length | field(values[0], 5, 0) | field(values[1], 5, 1));
}

}  // namespace

const StartupTable<uint16_t[kHuffmanDirectSize], 34> huffman_direct([](uint16_t (*tables)[kHuffmanDirectSize]) {
  for (uint32_t t = 0; t < 34; ++t)
    for (uint32_t pattern = 0; pattern < kHuffmanDirectSize; ++pattern) tables[t][pattern] = direct_entry(t, pattern);
});

}  // namespace mpegin
