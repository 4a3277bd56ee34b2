#include "stdin_input.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bitstream/frame_header.h"
#include "container_sniff.h"

namespace mpegin::mpegdec {

namespace {
constexpr size_t kMostSniffed = 1 << 20;   // a WAV file's chunks before its "fmt " chunk
}  // namespace

StdinInput::StdinInput(uint32_t word) : delivery_(word), history_(kHistoryBytes) {}

StdinInput::~StdinInput() { mpegaudio_delete(decoder_); }

ptrdiff_t StdinInput::read_callback(void* user, void* buffer, size_t size) {
  return static_cast<StdinInput*>(user)->read_stdin(buffer, size);
}

ptrdiff_t StdinInput::read_stdin(void* buffer, size_t size) {
  if (prefix_given_ < prefix_.size()) {
    const size_t n = std::min(size, prefix_.size() - prefix_given_);
    std::memcpy(buffer, prefix_.data() + prefix_given_, n);
    prefix_given_ += n;
    if (prefix_given_ == prefix_.size()) {   // all handed over: its memory goes
      prefix_ = std::vector<unsigned char>();
      prefix_given_ = 0;
    }
    return static_cast<ptrdiff_t>(n);
  }
  return read_fd(buffer, size);
}

ptrdiff_t StdinInput::read_fd(void* buffer, size_t size) {
  if (at_end_) return 0;
  if (read_error_ != 0) return -1;
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, std::min(size, kMostPerRead));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      read_error_ = errno;
      return -1;
    }
    if (n == 0) at_end_ = true;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    for (ssize_t i = 0; i < n; ++i) history_[(bytes_read_ + i) % kHistoryBytes] = bytes[i];
    bytes_read_ += static_cast<uint64_t>(n);
    return n;
  }
}

size_t StdinInput::fill_prefix(size_t size) {
  size = std::min(size, kMostSniffed);
  while (prefix_.size() < size && !at_end_ && read_error_ == 0) {
    const size_t have = prefix_.size();
    prefix_.resize(size);
    const ptrdiff_t n = read_fd(prefix_.data() + have, size - have);
    prefix_.resize(have + static_cast<size_t>(std::max<ptrdiff_t>(n, 0)));
  }
  return prefix_.size();
}

StdinInput::Opened StdinInput::open(std::string& reason, std::string& decoder_message) {
  const std::string kind = foreign_audio_kind([this](uint64_t offset, unsigned char* data, size_t size) -> size_t {
    if (offset >= kMostSniffed) return 0;
    const size_t have = fill_prefix(static_cast<size_t>(offset) + size);
    if (have <= offset) return 0;
    const size_t n = std::min(size, have - static_cast<size_t>(offset));
    std::memcpy(data, prefix_.data() + offset, n);
    return n;
  });
  if (read_error_ != 0) {
    reason = std::strerror(read_error_);
    return Opened::kCannotRead;
  }
  if (!kind.empty() || (prefix_.empty() && at_end_)) {
    reason = "not MPEG audio (" + (kind.empty() ? std::string("empty file") : kind + " data") + ")";
    return Opened::kNotMpeg;
  }

  decoder_ = mpegaudio_new();
  if (decoder_ == nullptr) {
    reason = std::strerror(ENOMEM);
    return Opened::kCannotRead;
  }
  const unsigned flags = delivery_.gapless() ? 0u : MPEGAUDIO_NO_GAPLESS;
  const int status = mpegaudio_open_stream(decoder_, &StdinInput::read_callback, this, flags);
  if (status == MPEGAUDIO_READ_ERROR) {
    reason = std::strerror(read_error_ != 0 ? read_error_ : EIO);
    return Opened::kCannotRead;
  }
  if (status != MPEGAUDIO_OK) {
    reason = "not MPEG audio";
    // What the decoder says beyond that; for a stream without a frame it has nothing to add.
    if (status != MPEGAUDIO_NO_AUDIO) decoder_message = mpegaudio_message(decoder_);
    return Opened::kNotMpeg;
  }
  mpegaudio_get_info(decoder_, &info_);
  events_.size = sizeof events_;
  events_.sample_rate = info_.sample_rate;
  events_.first_layer = info_.layer;
  events_.first_channels = static_cast<int32_t>(mode_channels(static_cast<uint32_t>(info_.mode)));
  return Opened::kOk;
}

void StdinInput::note_frame(const mpegaudio_frame& frame) {
  if ((frame.flags & MPEGAUDIO_FRAME_CONCEALED) != 0 && events_.concealed_frames++ == 0)
    events_.first_concealed_sample = events_.decoded_samples;
  if ((frame.flags & MPEGAUDIO_FRAME_FORMAT_CHANGE) != 0 && events_.format_change_layer == 0) {
    // The frame tells that its format differs, its header what it is.
    events_.format_change_sample = events_.decoded_samples;
    const uint64_t at = frame.byte_offset;
    if (at + 4 <= bytes_read_ && bytes_read_ - at <= kHistoryBytes) {
      const unsigned char second = history_[(at + 1) % kHistoryBytes];
      const unsigned char fourth = history_[(at + 3) % kHistoryBytes];
      events_.format_change_layer = 4 - ((second >> 1) & 3);
      events_.format_change_channels = static_cast<int32_t>(mode_channels(fourth >> 6u));
    }
  }
  events_.decoded_samples += frame.sample_count;
}

uint32_t StdinInput::read_frame(void* destination) {
  if (decoder_ == nullptr || !failure_.empty()) return 0;
  mpegaudio_frame frame{};
  int status;
  // Frames trimmed away entirely carry nothing: read on, as the module does.
  while ((status = mpegaudio_decode(decoder_, &frame)) == MPEGAUDIO_OK) {
    note_frame(frame);
    if (frame.sample_count == 0) continue;
    const auto count = static_cast<uint32_t>(frame.sample_count * static_cast<size_t>(frame.channels));
    delivery_.convert(frame.samples, count, destination);
    return count;
  }
  if (status == MPEGAUDIO_END) {
    events_.changed_rate = mpegaudio_changed_rate(decoder_);
  } else if (status == MPEGAUDIO_READ_ERROR) {
    failure_ = std::string("read failed (") + std::strerror(read_error_ != 0 ? read_error_ : EIO) + ")";
  } else {
    failure_ = std::string("decoding failed (") + mpegaudio_message(decoder_) + ")";
  }
  return 0;
}

bool StdinInput::events(MpegStreamEvents& events) const {
  events = events_;
  return decoder_ != nullptr;
}

}  // namespace mpegin::mpegdec
