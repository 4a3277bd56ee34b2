#ifndef MPEGIN_LAYER3_STARTUP_TABLE_H
#define MPEGIN_LAYER3_STARTUP_TABLE_H

#include <cstddef>

namespace mpegin {

// A constant table whose values are computed by the fill function handed to its constructor
// when build() is called (once, by prepare_layer3_tables, before any decoder reads it), then
// only read. Until then its memory is never touched, so that a process that decodes no stream
// of the kind it serves keeps no pages of it resident.
template <typename T, std::size_t N>
class StartupTable {
 public:
  using Fill = void (*)(T*);

  explicit StartupTable(Fill fill) : fill_(fill) {}
  StartupTable(const StartupTable&) = delete;
  StartupTable& operator=(const StartupTable&) = delete;

  void build() const { fill_(values_); }

  const T& operator[](std::size_t i) const { return values_[i]; }
  static constexpr std::size_t size() { return N; }

 private:
  Fill fill_;
  mutable T values_[N];
};

}  // namespace mpegin

#endif
