#ifndef MPEGIN_LAYER3_COMPUTED_POWERS_H
#define MPEGIN_LAYER3_COMPUTED_POWERS_H

#include <cstdint>

#include "layer3/requantize_tables.h"

// The powers requantisation computes where its tables end, with plain arithmetic: the maths
// library is not linked for them, since loading it costs a few hundred KiB of resident memory.
// Each gives the float the tables hold for its arguments (the double-precision power rounded
// to float).

namespace mpegin {

// value x 2^exponent rounded to float once: 0 or infinite where the exact result is out of
// the float range, as a product is.
inline float times_power_of_two(float value, int32_t exponent) {
  // Past 400 the result is 0 or infinite whatever the float; within it every double below
  // stays normal, so that only the final conversion rounds.
  if (exponent > 400) exponent = 400;
  if (exponent < -400) exponent = -400;
  const bool up = exponent > 0;
  uint32_t left = static_cast<uint32_t>(up ? exponent : -exponent);
  double scaled = value;
  for (; left >= 50; left -= 50) scaled *= up ? 0x1p50 : 0x1p-50;
  const double power = static_cast<double>(1ull << left);
  scaled = up ? scaled * power : scaled / power;
  return static_cast<float>(scaled);
}

// n^(4/3), the cube root found by Newton's method in extended precision.
inline float pow43_computed(uint32_t n) {
  if (n == 0) return 0.0f;
  const long double x = n;
  long double root = 1.0L;
  while (root * root * root < x) root *= 2.0L;   // from above: the steps decrease to the root
  for (int i = 0; i < 200; ++i) {
    const long double next = root - (root * root * root - x) / (3.0L * root * root);
    if (!(next < root)) break;
    root = next;
  }
  return static_cast<float>(static_cast<double>(x * root));
}

// 2^(quarters/4): a gain of the table times a power of two.
inline float power_of_two_quarters(int64_t quarters) {
  const int64_t whole = quarters >= 0 ? quarters / 4 : -((3 - quarters) / 4);   // rounded down
  const int32_t exponent = static_cast<int32_t>(whole < -1000 ? -1000 : whole > 1000 ? 1000 : whole);
  return times_power_of_two(global_gain_table[210 + (quarters - 4 * whole)], exponent);
}

}  // namespace mpegin

#endif
