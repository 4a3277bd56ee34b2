#include "audio_writer.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <strings.h>
#include <vector>

namespace mpegin::mpegdec {

namespace {

struct TypeName {
  FileType type;
  const char* name;
};
constexpr TypeName kTypeNames[] = {
    {FileType::kWav, "wav"},   {FileType::kFlac, "flac"}, {FileType::kAiff, "aiff"},
    {FileType::kAiff, "aif"},  {FileType::kW64, "w64"},   {FileType::kRaw, "raw"},
    {FileType::kRaw, "pcm"},
};

// Raw samples, buffered, written with plain write calls so that pipes and devices work.
class RawWriter final : public AudioWriter {
 public:
  explicit RawWriter(int fd) : fd_(fd) { buffer_.reserve(kBufferBytes); }

  bool write_float(const float* samples, size_t count) override {
    return append(samples, count * sizeof(float));
  }
  bool write_short(const int16_t* samples, size_t count) override {
    return append(samples, count * sizeof(int16_t));
  }
  bool finish() override { return flush(); }

 private:
  static constexpr size_t kBufferBytes = 1 << 16;
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
                "raw output is written in the machine's order, which must be little-endian");

  bool append(const void* data, size_t bytes) {
    if (!error_.empty()) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    buffer_.insert(buffer_.end(), p, p + bytes);
    return buffer_.size() < kBufferBytes || flush();
  }

  bool flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? std::strerror(errno) : "nothing written";
        buffer_.clear();
        return false;
      }
      done += static_cast<size_t>(n);
    }
    buffer_.clear();
    return error_.empty();
  }

  int fd_;
  std::vector<unsigned char> buffer_;
};

class SndfileWriter final : public AudioWriter {
 public:
  static std::unique_ptr<AudioWriter> open(FileType type, int fd, const AudioLayout& layout,
                                           std::string& error) {
    SF_INFO info{};
    info.samplerate = layout.sample_rate;
    info.channels = layout.channels;
    const bool wide = layout.encoding == SampleEncoding::kFloat32;
    int subtype = wide ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16;
    switch (type) {
      // WAV is opened as RF64 that stays plain WAV while the data fits in 4 GiB.
      case FileType::kWav: info.format = SF_FORMAT_RF64; break;
      case FileType::kAiff: info.format = SF_FORMAT_AIFF; break;
      case FileType::kW64: info.format = SF_FORMAT_W64; break;
      case FileType::kFlac:
        info.format = SF_FORMAT_FLAC;
        if (wide) subtype = SF_FORMAT_PCM_24;   // the widest FLAC holds
        break;
      case FileType::kRaw: error = "not an audio file type"; return nullptr;
    }
    info.format |= subtype;
    if (!sf_format_check(&info)) {
      error = "libsndfile cannot write this format";
      return nullptr;
    }
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) {
      error = sf_strerror(nullptr);
      return nullptr;
    }
    if (type == FileType::kWav) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return std::unique_ptr<AudioWriter>(new SndfileWriter(file));
  }

  ~SndfileWriter() override {
    if (file_ != nullptr) sf_close(file_);
  }

  bool write_float(const float* samples, size_t count) override {
    return check(sf_write_float(file_, samples, static_cast<sf_count_t>(count)), count);
  }
  bool write_short(const int16_t* samples, size_t count) override {
    return check(sf_write_short(file_, samples, static_cast<sf_count_t>(count)), count);
  }
  bool finish() override {
    if (file_ == nullptr) return error_.empty();
    sf_write_sync(file_);
    const int status = sf_error(file_);
    if (status != SF_ERR_NO_ERROR && error_.empty()) error_ = sf_error_number(status);
    if (sf_close(file_) != 0 && error_.empty()) error_ = "closing the file failed";
    file_ = nullptr;
    return error_.empty();
  }

 private:
  explicit SndfileWriter(SNDFILE* file) : file_(file) {}

  bool check(sf_count_t written, size_t wanted) {
    if (!error_.empty()) return false;
    if (written != static_cast<sf_count_t>(wanted)) {
      error_ = sf_strerror(file_);
      if (error_.empty() || error_ == "No Error.") error_ = std::strerror(errno ? errno : EIO);
      return false;
    }
    return true;
  }

  SNDFILE* file_;
};

}  // namespace

const char* extension_of(FileType type) {
  for (const TypeName& entry : kTypeNames) {
    if (entry.type == type) return entry.name;
  }
  return "raw";
}

bool file_type_from_name(const std::string& name, FileType& type) {
  for (const TypeName& entry : kTypeNames) {
    if (strcasecmp(name.c_str(), entry.name) == 0) {
      type = entry.type;
      return true;
    }
  }
  return false;
}

bool file_type_from_extension(const std::string& path, FileType& type) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return file_type_from_name(path.substr(dot + 1), type);
}

std::unique_ptr<AudioWriter> make_audio_writer(FileType type, int fd, const AudioLayout& layout,
                                               std::string& error) {
  if (type == FileType::kRaw) return std::make_unique<RawWriter>(fd);
  return SndfileWriter::open(type, fd, layout, error);
}

}  // namespace mpegin::mpegdec
