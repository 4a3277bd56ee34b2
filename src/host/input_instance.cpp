#include "host/input_instance.h"

namespace mpegin {

bool ensure_side_buffer(InputInstance& instance) {
  if (instance.side_buffer != nullptr) return true;
  platform::MemoryHandle block = platform::global_alloc(kInstanceFlags, kSideBufferBytes);
  if (block == nullptr) return false;
  instance.side_buffer = static_cast<float*>(platform::global_lock(block));
  if (instance.side_buffer == nullptr) {
    platform::global_free(block);
    return false;
  }
  instance.side_buffer_handle = block;
  return true;
}

}  // namespace mpegin
