#pragma once

#include <cstddef>
#include <cstdint>

namespace mpegin {

// Metadata tags that files carry around their MPEG audio frames. None of them is audio.

// Bytes an ID3v2 tag takes when `bytes` (at least 10) start one: the 10-byte header, the
// declared size (a 28-bit syncsafe integer, which counts the extended header, padding and
// unsynchronised data alike) and the 10-byte footer when the header flags one (version 4).
// 0 when the bytes are not an ID3v2 header.
uint64_t id3v2_tag_length(const uint8_t* bytes, size_t count);

// Bytes of the tag that ends where the `count` bytes of `tail` end (the last bytes before a
// point of the file; `count` is at most kTailBytes, less only when the file is shorter), when
// one does: an ID3v1 tag ("TAG", 128 bytes), an APE tag (its "APETAGEX" footer last, with its
// header when it has one) or an ID3v2 tag appended with its footer ("3DI"). `before` is the
// number of bytes from the file start to that point: a tag claiming more is no tag. 0 when
// no tag ends there.
uint64_t trailing_tag_length(const uint8_t* tail, size_t count, uint64_t before);
constexpr size_t kTailBytes = 128;

}  // namespace mpegin
