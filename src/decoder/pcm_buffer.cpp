#include "decoder/pcm_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "bitstream/frame_header.h"
#include "synthesis/cpu_features.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

#if MPEGIN_WIDE_VECTORS
// Interleaves eight pairs a step where the processor has AVX: the same values in the same
// places as the loops of append_pair. Returns the pairs written.
__attribute__((target("avx"))) uint32_t interleave_avx(float* out, const float* first,
                                                       const float* second, uint32_t count) {
  uint32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256 a = _mm256_loadu_ps(first + i);
    const __m256 b = _mm256_loadu_ps(second + i);
    const __m256 low = _mm256_unpacklo_ps(a, b);   // pairs 0 1 | 4 5
    const __m256 high = _mm256_unpackhi_ps(a, b);  // pairs 2 3 | 6 7
    _mm256_storeu_ps(out + 2 * i, _mm256_permute2f128_ps(low, high, 0x20));
    _mm256_storeu_ps(out + 2 * i + 8, _mm256_permute2f128_ps(low, high, 0x31));
  }
  return i;
}
#endif

}  // namespace

std::unique_ptr<PcmBuffer> PcmBuffer::create(const FrameHeader& header, uint32_t channels) {
  if (channels != 1) channels = 2;
  // The sizing base: 4608 bytes per channel, halved for LSF, a third for Layer I.
  uint32_t frame_bytes = channels * 4608;
  if (header.version == 0) frame_bytes /= 2;
  if (header.layer == 1) frame_bytes /= 3;
  // The store is frame_bytes * 12 bytes: frame_bytes * 3 floats, zeroed as writes reach it.
  // frame_bytes is the size of one MPEG-1 frame of the first layer as floats, so the store
  // holds twelve such frames (six of LSF Layers I and II).
  Store store(static_cast<float*>(std::malloc(sizeof(float) * frame_bytes * 3)));
  if (!store) return nullptr;
  std::unique_ptr<PcmBuffer> buffer(new (std::nothrow) PcmBuffer(channels, frame_bytes, std::move(store)));
  return buffer;
}

void PcmBuffer::FreeStore::operator()(float* store) const { std::free(store); }

PcmBuffer::PcmBuffer(uint32_t channels, uint32_t frame_bytes, Store store)
    : write_index_{0, 1},
      channels_(channels),
      frame_bytes_(frame_bytes),
      capacity_(frame_bytes * 3),
      store_(std::move(store)) {}

void PcmBuffer::zero_up_to(uint64_t end) {
  const uint32_t to = end < capacity_ ? static_cast<uint32_t>(end) : capacity_;
  if (to > zeroed_) std::memset(store_.get() + zeroed_, 0, sizeof(float) * (to - zeroed_));
  zeroed_ = to;
}

void PcmBuffer::append_block(int channel, const float* values, uint32_t count) {
  if (count == 0) return;
  uint32_t& index = write_index_[channel];
  // The usual case, where the whole block fits, needs no division.
  const uint64_t last = index + uint64_t{channels_} * (count - 1);
  if (last >= capacity_) {
    const uint32_t room = index < capacity_ ? (capacity_ - index + channels_ - 1) / channels_ : 0;
    if (count > room) count = room;
  }
  reach(uint64_t{index} + uint64_t{channels_} * count);
  float* out = store_.get() + index;
  if (channels_ == 1) {
    for (uint32_t i = 0; i < count; ++i) out[i] = values[i];
  } else {
    uint32_t i = 0;
#if MPEGIN_SSE2
    // Four samples a step into eight slots. Only groups whose eight slots all lie inside the
    // store.
    const uint32_t slots = index < capacity_ ? capacity_ - index : 0;
    const uint32_t grouped = count < slots / 2 ? count : slots / 2;
    if (channel == 0 && write_index_[1] <= index + 1) {
      // Channel 1 has not reached these slots yet: it writes them later, or they are copied
      // from channel 0 or never handed out, so they take channel 0's samples for now.
      for (; i + 4 <= grouped; i += 4) {
        const __m128 v = _mm_loadu_ps(values + i);
        _mm_storeu_ps(out + 2 * i, _mm_unpacklo_ps(v, v));
        _mm_storeu_ps(out + 2 * i + 4, _mm_unpackhi_ps(v, v));
      }
    }
    // Otherwise the other channel's four slots are read and written back bit for bit.
    for (; i + 4 <= grouped; i += 4) {
      float* p = out + 2 * i;
      const __m128 v = _mm_loadu_ps(values + i);
      const __m128 other = _mm_shuffle_ps(_mm_loadu_ps(p), _mm_loadu_ps(p + 4), _MM_SHUFFLE(3, 1, 3, 1));
      _mm_storeu_ps(p, _mm_unpacklo_ps(v, other));
      _mm_storeu_ps(p + 4, _mm_unpackhi_ps(v, other));
    }
#endif
    for (; i < count; ++i) out[2 * i] = values[i];
  }
  index += channels_ * count;
}

void PcmBuffer::append_pair(const float* first, const float* second, uint32_t count) {
  const uint32_t index = write_index_[0];
  const bool in_step = channels_ == 2 && write_index_[1] == index + 1;
  if (!in_step || uint64_t{index} + 2 * uint64_t{count} > capacity_) {
    SampleSink::append_pair(first, second, count);
    return;
  }
  reach(uint64_t{index} + 2 * uint64_t{count});
  float* out = store_.get() + index;
  uint32_t i = 0;
#if MPEGIN_WIDE_VECTORS
  if (simd_path() >= SimdPath::kAvx) i = interleave_avx(out, first, second, count);
#endif
#if MPEGIN_SSE2
  for (; i + 4 <= count; i += 4) {
    const __m128 a = _mm_loadu_ps(first + i);
    const __m128 b = _mm_loadu_ps(second + i);
    _mm_storeu_ps(out + 2 * i, _mm_unpacklo_ps(a, b));
    _mm_storeu_ps(out + 2 * i + 4, _mm_unpackhi_ps(a, b));
  }
#endif
  for (; i < count; ++i) {
    out[2 * i] = first[i];
    out[2 * i + 1] = second[i];
  }
  write_index_[0] = index + 2 * count;
  write_index_[1] = index + 2 * count + 1;
}

void PcmBuffer::copy_first_channel() {
  if (channels_ != 2) return;
  float* store = store_.get();
  for (uint32_t i = write_index_[1]; i < write_index_[0]; i += 2) store[i] = store[i - 1];
  write_index_[1] = write_index_[0] + 1;
}

const float* PcmBuffer::take(uint32_t& length_bytes) {
  const uint32_t last = channels_ - 1;
  length_bytes = 4 * (write_index_[last] - last);
  write_index_[0] = 0;
  write_index_[1] = 1;
  return store_.get();
}

}  // namespace mpegin
