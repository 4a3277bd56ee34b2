#pragma once

#include <cstddef>
#include <memory>

#include "bitstream/byte_source.h"

namespace mpegin {

// Reads up to `size` bytes into `buffer`; the count, 0 at the end, or a negative value when
// the read failed.
using ReadFunction = ptrdiff_t (*)(void* user, void* buffer, size_t size);

// A stream that can only be read forward (a pipe, a socket, a network download), through a
// callback. Memory stays bounded: one fixed buffer, allocated at construction.
//
// Tags at the end of a stream (ID3v1, APE, an appended ID3v2 tag) are no audio. A stream has
// no end to look at in advance, so the last kHeldBytes bytes read are held back until the
// next bytes arrive; when the stream ends, the tags found in them are cut off and only the
// bytes before them are delivered. A tag longer than that is cut only from where the
// held-back bytes begin (the reader has seen its start as bytes that are no frame). The
// bound costs latency: a frame is delivered kHeldBytes bytes after it has arrived.
class StreamSource final : public ByteSource {
 public:
  // ID3v1 (128 bytes) with an APE or ID3v2 tag of text items (ReplayGain, title, artist) in
  // front of it fit; at 128 kbit/s it is 128 ms of audio.
  static constexpr size_t kHeldBytes = 2048;
  // Bytes asked of the callback at most at a time.
  static constexpr size_t kChunkBytes = 4096;

  StreamSource(ReadFunction read, void* user);
  // False when the buffer could not be allocated.
  bool is_ready() const { return buffer_ != nullptr; }

  size_t read(uint8_t* buffer, size_t size) override;
  bool seek(uint64_t) override { return false; }
  int64_t size() const override { return -1; }
  std::unique_ptr<ByteSource> reopen() const override { return nullptr; }

 private:
  // The stream has ended: the tags at the end of the held bytes are cut off.
  void cut_trailing_tags();

  ReadFunction read_;
  void* user_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t start_ = 0;       // first held byte in buffer_
  size_t count_ = 0;       // bytes held from start_
  uint64_t received_ = 0;  // bytes the callback has delivered
  bool ended_ = false;
};

}  // namespace mpegin
