#include "bitstream/memory_source.h"

#include <cstring>
#include <new>

namespace mpegin {

size_t MemorySource::read(uint8_t* buffer, size_t size) {
  const size_t count = size < size_ - position_ ? size : size_ - position_;
  if (count != 0) std::memcpy(buffer, data_ + position_, count);
  position_ += count;
  return count;
}

bool MemorySource::seek(uint64_t offset) {
  position_ = offset < size_ ? static_cast<size_t>(offset) : size_;
  return true;
}

std::unique_ptr<ByteSource> MemorySource::reopen() const {
  return std::unique_ptr<ByteSource>(new (std::nothrow) MemorySource(data_, size_));
}

}  // namespace mpegin
