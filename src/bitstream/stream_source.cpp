#include "bitstream/stream_source.h"

#include <cstring>
#include <new>

#include "bitstream/stream_tags.h"

namespace mpegin {

namespace {

constexpr size_t kBufferBytes = StreamSource::kHeldBytes + StreamSource::kChunkBytes;

}  // namespace

StreamSource::StreamSource(ReadFunction read, void* user)
    : read_(read), user_(user), buffer_(new (std::nothrow) uint8_t[kBufferBytes]) {}

size_t StreamSource::read(uint8_t* out, size_t size) {
  if (buffer_ == nullptr || read_ == nullptr) return 0;
  for (;;) {
    // Until the stream has ended, its last kHeldBytes bytes stay held.
    const size_t held = ended_ ? 0 : kHeldBytes;
    if (count_ > held) {
      const size_t count = size < count_ - held ? size : count_ - held;
      std::memcpy(out, buffer_.get() + start_, count);
      start_ += count;
      count_ -= count;
      return count;
    }
    if (ended_ || size == 0) return 0;
    if (start_ + count_ > kBufferBytes - kChunkBytes / 2) {
      std::memmove(buffer_.get(), buffer_.get() + start_, count_);
      start_ = 0;
    }
    const ptrdiff_t got = read_(user_, buffer_.get() + start_ + count_, kBufferBytes - start_ - count_);
    if (got <= 0) {
      failed_ = got < 0;
      ended_ = true;
      cut_trailing_tags();
      continue;
    }
    // A callback that claims more than it was given room for is held to the room.
    const size_t room = kBufferBytes - start_ - count_;
    const size_t taken = static_cast<size_t>(got) < room ? static_cast<size_t>(got) : room;
    count_ += taken;
    received_ += taken;
  }
}

void StreamSource::cut_trailing_tags() {
  // As a file's end is looked at: tags one before the other, each found in the last
  // kTailBytes bytes before the end of the audio, as long as those bytes are still held. The
  // held bytes are the last count_ bytes before `end`.
  uint64_t end = received_;
  for (int tags = 0; tags < 8; ++tags) {
    const size_t count = end < kTailBytes ? static_cast<size_t>(end) : kTailBytes;
    if (count == 0 || count > count_) break;
    const uint64_t length = trailing_tag_length(buffer_.get() + start_ + count_ - count, count, end);
    if (length == 0) break;
    const uint64_t cut = length < count_ ? length : count_;
    count_ -= static_cast<size_t>(cut);
    end -= cut;
    if (cut < length) break;  // the tag began before the held bytes
  }
}

}  // namespace mpegin
