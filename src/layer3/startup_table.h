#ifndef MPEGIN_LAYER3_STARTUP_TABLE_H
#define MPEGIN_LAYER3_STARTUP_TABLE_H

#include <cstddef>

namespace mpegin {

// A constant table whose values are computed once during static initialisation (before any
// decoder exists) by the fill function handed to its constructor, then only read.
template <typename T, std::size_t N>
struct StartupTable {
  T values[N];

  template <typename Fill>
  explicit StartupTable(Fill fill) : values() {
    fill(values);
  }
  const T& operator[](std::size_t i) const { return values[i]; }
  static constexpr std::size_t size() { return N; }
};

}  // namespace mpegin

#endif
