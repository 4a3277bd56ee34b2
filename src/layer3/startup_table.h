#ifndef MPEGIN_LAYER3_STARTUP_TABLE_H
#define MPEGIN_LAYER3_STARTUP_TABLE_H

#include <atomic>
#include <cstddef>
#include <mutex>

namespace mpegin {

// A constant table whose values are computed by the fill function handed to its constructor
// when prepare() is first called (by the constructor of the decoder that reads it), then only
// read. Until then its memory is never touched, so that a process that does not decode the
// stream kind it serves keeps no pages of it resident.
template <typename T, std::size_t N>
class StartupTable {
 public:
  using Fill = void (*)(T*);

  explicit StartupTable(Fill fill) : fill_(fill) {}
  StartupTable(const StartupTable&) = delete;
  StartupTable& operator=(const StartupTable&) = delete;

  // Computes the values unless that was done; safe to call from several threads at once.
  void prepare() const {
    if (ready_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (ready_.load(std::memory_order_relaxed)) return;
    fill_(values_);
    ready_.store(true, std::memory_order_release);
  }

  // Valid once prepare() returned.
  const T& operator[](std::size_t i) const { return values_[i]; }
  static constexpr std::size_t size() { return N; }

 private:
  Fill fill_;
  mutable std::atomic<bool> ready_{false};
  mutable std::mutex mutex_;
  mutable T values_[N];
};

}  // namespace mpegin

#endif
