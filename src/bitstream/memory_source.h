#pragma once

#include "bitstream/byte_source.h"

namespace mpegin {

// A block of memory the caller keeps: the bytes are read where they are, never copied as a
// whole, and must outlive the source.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(data != nullptr ? size : 0) {}

  size_t read(uint8_t* buffer, size_t size) override;
  bool seek(uint64_t offset) override;
  int64_t size() const override { return static_cast<int64_t>(size_); }
  std::unique_ptr<ByteSource> reopen() const override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

}  // namespace mpegin
