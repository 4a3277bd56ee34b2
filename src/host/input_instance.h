// The record behind an input handle: one per open file, kept in a movable memory block.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "decoder/stream_info.h"
#include "platform/platform.h"

namespace mpegin {

struct InputInstance {
  int32_t decoded_size;       // expected bytes of the whole output at the current width
  uint32_t option_word;       // last OptionWord applied; 0 after open
  int32_t context_open;       // non-zero when the decoder context opened for this instance
  StreamInfo stream_info;     // filled at open
  double gain_db;             // 0.0 after open
  float gain;                 // 32768 x 10^(gain_db / 20); 32768.0 after open
  int16_t sample_width;       // 16 or 32: what ReadFilterInput delivers
  int32_t dither;             // 1: 16-bit output is dithered
  platform::MemoryHandle side_buffer_handle;  // held for 16-bit output (reads give nothing without it); null until needed
  float* side_buffer;         // locked from creation until close
};

// The block holds at least 176 bytes, more where pointers are 8 bytes.
constexpr std::size_t kInputInstanceBytes = std::max<std::size_t>(176, sizeof(InputInstance));
constexpr uint32_t kInstanceFlags = platform::kMemMovable | platform::kMemZeroInit | platform::kMemDdeShare;

constexpr std::size_t kSideBufferBytes = 32768;  // 8192 floats: more than one frame holds

// Creates the side buffer when the instance has none; false when it cannot be allocated.
bool ensure_side_buffer(InputInstance& instance);

}  // namespace mpegin
