// What the module delivers for an option word, made from the decoder's samples in this process:
// the word resolved as FilterSetOptions2 resolves it, and the module's own conversion (gain,
// 16-bit clipping or dither, with the dither generator seeded as an open seeds it), so that
// an input decoded through the library gives the bytes a read of the module would.
#pragma once

#include <cstdint>

namespace mpegin::mpegdec {

class ModuleDelivery {
 public:
  // `word` as mpegdec passes it to the module: 0 (apart from the whole-frames bit) for the
  // stored options, else the word of the command line.
  explicit ModuleDelivery(uint32_t word);

  uint32_t word() const { return word_; }   // the word applied (FilterOptions)
  int width() const { return width_; }      // 16 or 32
  bool gapless() const { return gapless_; }

  // Converts `count` interleaved samples (full scale 1.0) into `destination`: 16-bit integers
  // at width 16, floats with full scale 1.0 at width 32 (the module's floats in 16-bit units
  // divided by 32768, as mpegdec reads them from the module).
  void convert(const float* samples, uint32_t count, void* destination) const;
  // The same with a dither generator state of the caller's (parts of one output converted on
  // several threads; see dither_skip).
  void convert(const float* samples, uint32_t count, void* destination, uint32_t& state) const;

 private:
  uint32_t word_ = 0;
  int width_ = 16;
  bool dither_ = false;
  bool gapless_ = true;
  float gain_ = 32768.0f;
};

}  // namespace mpegin::mpegdec
