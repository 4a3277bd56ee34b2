// mpegaudio for C++: the C interface (mpegaudio.h) with the decoder's lifetime held by an object.
// Statuses stay values, as in C; nothing throws but the allocation of the decoder itself.
//
//   mpegaudio::Decoder decoder;
//   if (decoder.open_file("song.mp3") != MPEGAUDIO_OK) return fail(decoder.message());
//   for (mpegaudio_frame f; decoder.decode(f) == MPEGAUDIO_OK;) use(f.samples, f.sample_count);
#ifndef MPEGAUDIO_MPEGAUDIO_HPP
#define MPEGAUDIO_MPEGAUDIO_HPP

#include <new>

#include "mpegaudio/mpegaudio.h"

namespace mpegaudio {

class Decoder {
 public:
  // Throws std::bad_alloc when the decoder cannot be allocated.
  Decoder() : decoder_(mpegaudio_new()) {
    if (decoder_ == nullptr) throw std::bad_alloc();
  }
  ~Decoder() { mpegaudio_delete(decoder_); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  // A moved-from object holds no decoder: its calls are refused (MPEGAUDIO_INVALID_ARGUMENT).
  Decoder(Decoder&& other) noexcept : decoder_(other.decoder_) { other.decoder_ = nullptr; }
  Decoder& operator=(Decoder&& other) noexcept {
    if (this != &other) {
      mpegaudio_delete(decoder_);
      decoder_ = other.decoder_;
      other.decoder_ = nullptr;
    }
    return *this;
  }

  int open_file(const char* path, unsigned flags = 0) { return mpegaudio_open_file(decoder_, path, flags); }
  int open_memory(const void* data, size_t size, unsigned flags = 0) {
    return mpegaudio_open_memory(decoder_, data, size, flags);
  }
  int open_stream(mpegaudio_read_fn read, void* user, unsigned flags = 0) {
    return mpegaudio_open_stream(decoder_, read, user, flags);
  }
  int info(mpegaudio_info& info) const { return mpegaudio_get_info(decoder_, &info); }
  int decode(mpegaudio_frame& frame) { return mpegaudio_decode(decoder_, &frame); }
  int32_t changed_rate() const { return mpegaudio_changed_rate(decoder_); }
  const char* message() const { return mpegaudio_message(decoder_); }
  void close() { mpegaudio_close(decoder_); }

  // The C handle, for calls this class does not wrap.
  mpegaudio_decoder* get() const { return decoder_; }

 private:
  mpegaudio_decoder* decoder_;
};

}  // namespace mpegaudio

#endif  // MPEGAUDIO_MPEGAUDIO_HPP
