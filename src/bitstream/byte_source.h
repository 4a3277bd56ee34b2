#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mpegin {

// Where the reader's bytes come from: a file, a block of memory or a stream read through a
// callback. Files and memory know their size and can seek (the reader then looks at their end
// for tags); a stream only reads forward.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Reads up to `size` bytes into `buffer` and returns the count: fewer than asked at any
  // time, 0 at the end of the source (or after a failed read, which failed() then tells).
  virtual size_t read(uint8_t* buffer, size_t size) = 0;
  // Moves to `offset` bytes from the start (an offset past the end reads nothing); false when
  // the source cannot seek.
  virtual bool seek(uint64_t offset) = 0;
  // Bytes in the source; -1 when unknown (a stream).
  virtual int64_t size() const = 0;
  // A second source over the same bytes, at their start and independent of this one (a walk
  // over the headers uses it); null when there is none (a stream, or no memory).
  virtual std::unique_ptr<ByteSource> reopen() const = 0;

  // A read failed: the source ended early rather than at its end.
  bool failed() const { return failed_; }

 protected:
  bool failed_ = false;
};

}  // namespace mpegin
