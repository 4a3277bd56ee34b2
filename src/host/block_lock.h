// Locks a movable memory block for the length of a scope.
#pragma once

#include "platform/platform.h"

namespace mpegin {

template <class T>
class BlockLock {
 public:
  explicit BlockLock(platform::MemoryHandle block)
      : block_(block), data_(static_cast<T*>(block != nullptr ? platform::global_lock(block) : nullptr)) {}
  ~BlockLock() {
    if (data_ != nullptr) platform::global_unlock(block_);
  }
  BlockLock(const BlockLock&) = delete;
  BlockLock& operator=(const BlockLock&) = delete;

  T* get() const { return data_; }
  T* operator->() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  platform::MemoryHandle block_;
  T* data_;
};

}  // namespace mpegin
