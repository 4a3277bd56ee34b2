#include "layer3/huffman_direct_tables.h"

#include "layer3/huffman_decoder.h"
#include "layer3/huffman_tables.h"

namespace mpegin {

namespace {

// The entry for the stream bits `pattern` (kHuffmanDirectBits of them) of table t; with
// `signs_in_entry` false, pairs always take the kind whose signs follow in the stream.
uint16_t direct_entry(uint32_t t, uint32_t pattern, bool signs_in_entry) {
  const HuffmanTable& table = huffman_tables[t];
  if (table.lookup == nullptr) return 0;
  // The bits after the pattern are zeros; a symbol is taken only when its code and signs end
  // within the pattern, so that they never decide it.
  const uint64_t bits = uint64_t{pattern} << (64u - kHuffmanDirectBits);
  if (t >= 32) {
    int32_t values[4];
    const uint32_t length = decode_huffman_quad(table, bits, values);
    if (length > kHuffmanDirectBits) return 0;
    uint32_t entry = length;
    for (uint32_t k = 0; k < 4; ++k) entry |= (static_cast<uint32_t>(values[k]) & 3u) << (4u + 2u * k);
    return static_cast<uint16_t>(entry);
  }
  uint32_t length;
  const uint32_t value = huffman_lookup(table, bits, length);
  const uint32_t x = value >> 4;
  const uint32_t y = value & 15u;
  const uint32_t code_length = length - (x != 0) - (y != 0);
  // Escape values read linbits behind the code; they take the multi-level path.
  if (table.linbits != 0 && (x == 15 || y == 15)) return 0;
  if (code_length > kHuffmanDirectBits) return 0;
  const uint32_t magnitudes = kHuffmanDirectUnsigned | code_length | x << 4 | y << 8;
  if (length > kHuffmanDirectBits || !signs_in_entry) return static_cast<uint16_t>(magnitudes);
  int32_t values[2];
  huffman_direct_unsigned_pair(magnitudes, bits, values);
  const uint32_t signed_x = static_cast<uint32_t>(values[0]) & 31u;
  const uint32_t signed_y = static_cast<uint32_t>(values[1]) & 31u;
  return static_cast<uint16_t>(length | signed_x << 4 | signed_y << 9);
}

}  // namespace

// A pair table whose symbols often overrun the direct bits with their signs (the large-value
// tables) takes the signs from the stream for every pair: the decoder then meets one kind of
// entry in it and does not mispredict between the two. Random bits weigh each code as often as
// it occurs in the stream at most.
const StartupTable<uint16_t[kHuffmanDirectSize], 34> huffman_direct([](uint16_t (*tables)[kHuffmanDirectSize]) {
  for (uint32_t t = 0; t < 34; ++t) {
    uint32_t with_signs = 0;
    uint32_t signs_follow = 0;
    for (uint32_t pattern = 0; pattern < kHuffmanDirectSize; ++pattern) {
      const uint16_t entry = direct_entry(t, pattern, true);
      tables[t][pattern] = entry;
      if (t < 32 && entry != 0) ++((entry & kHuffmanDirectUnsigned) != 0 ? signs_follow : with_signs);
    }
    if (8 * signs_follow > with_signs + signs_follow) {
      for (uint32_t pattern = 0; pattern < kHuffmanDirectSize; ++pattern) tables[t][pattern] = direct_entry(t, pattern, false);
    }
  }
});

}  // namespace mpegin
