// Loads of big-endian words from bytes in memory (the order of MPEG audio bit streams).
#pragma once

#include <cstdint>
#include <cstring>

namespace mpegin {

// The 32-bit word whose most significant byte is b[0].
inline uint32_t load_big_endian32(const uint8_t* b) {
  return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}

// The 64-bit word whose most significant byte is b[0].
inline uint64_t load_big_endian64(const uint8_t* b) {
#if defined(__GNUC__) || defined(__clang__)
  uint64_t w;
  std::memcpy(&w, b, sizeof w);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return __builtin_bswap64(w);
#else
  return w;
#endif
#else
  uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r = (r << 8) | b[i];
  return r;
#endif
}

}  // namespace mpegin
