#include "audio_writer.h"

#include <dlfcn.h>
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

// Raw samples, written in large blocks with plain write calls so that pipes and devices work.
class RawWriter final : public AudioWriter {
 public:
  RawWriter(int fd, size_t sample_bytes)
      : fd_(fd), sample_bytes_(sample_bytes), buffer_(new unsigned char[kBufferBytes]) {}

  void* space(size_t bytes) override {
    if (kBufferBytes - used_ < bytes) {
      flush();
      if (kBufferBytes < bytes) {   // larger than the whole buffer: a block of its own
        large_.resize(bytes);
        return large_.data();
      }
    }
    return buffer_.get() + used_;
  }

  bool write(size_t count) override {
    if (!error_.empty()) return false;
    const size_t bytes = count * sample_bytes_;
    if (!large_.empty()) {
      const bool ok = write_all(large_.data(), bytes);
      large_.clear();
      return ok;
    }
    used_ += bytes;
    return used_ < kBufferBytes || flush();
  }

  bool write_from(const void* samples, size_t count) override {
    return flush() && write_all(static_cast<const unsigned char*>(samples), count * sample_bytes_);
  }

  bool finish() override { return flush(); }

 private:
  // 64 KiB: a system call per six frames of 32-bit stereo (a read takes up to 16 KiB), and
  // little resident memory.
  static constexpr size_t kBufferBytes = 1 << 16;
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
                "raw output is written in the machine's order, which must be little-endian");

  bool flush() {
    const bool ok = write_all(buffer_.get(), used_);
    used_ = 0;
    return ok;
  }

  bool write_all(const unsigned char* data, size_t bytes) {
    if (!error_.empty()) return false;
    size_t done = 0;
    while (done < bytes) {
      const ssize_t n = ::write(fd_, data + done, bytes - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? std::strerror(errno) : "nothing written";
        return false;
      }
      done += static_cast<size_t>(n);
    }
    return true;
  }

  int fd_;
  size_t sample_bytes_;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t used_ = 0;
  std::vector<unsigned char> large_;
};

// libsndfile is loaded on first use, so that raw output never maps it nor the codec libraries
// it pulls in (FLAC, Vorbis, Opus, MP3), which cost a few megabytes of resident memory.
struct SndfileApi {
  decltype(&::sf_format_check) format_check = nullptr;
  decltype(&::sf_open_fd) open_fd = nullptr;
  decltype(&::sf_strerror) strerror = nullptr;
  decltype(&::sf_error_number) error_number = nullptr;
  decltype(&::sf_error) error = nullptr;
  decltype(&::sf_command) command = nullptr;
  decltype(&::sf_write_float) write_float = nullptr;
  decltype(&::sf_write_short) write_short = nullptr;
  decltype(&::sf_write_sync) write_sync = nullptr;
  decltype(&::sf_close) close = nullptr;
};

template <typename Function>
bool bind(void* library, const char* name, Function& out) {
  out = reinterpret_cast<Function>(dlsym(library, name));
  return out != nullptr;
}

// The loaded library, or null with `error` saying why. Loaded once and kept for the process.
const SndfileApi* sndfile_api(std::string& error) {
  static SndfileApi api;
  static bool loaded = false;
  static std::string failure;
  if (!loaded) {
    loaded = true;
    void* library = dlopen("libsndfile.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      const char* reason = dlerror();
      failure = std::string("audio files need libsndfile.so.1, which cannot be loaded (") +
                (reason != nullptr ? reason : "not found") + "); --raw does not";
    } else if (!(bind(library, "sf_format_check", api.format_check) &&
                 bind(library, "sf_open_fd", api.open_fd) &&
                 bind(library, "sf_strerror", api.strerror) &&
                 bind(library, "sf_error_number", api.error_number) &&
                 bind(library, "sf_error", api.error) &&
                 bind(library, "sf_command", api.command) &&
                 bind(library, "sf_write_float", api.write_float) &&
                 bind(library, "sf_write_short", api.write_short) &&
                 bind(library, "sf_write_sync", api.write_sync) &&
                 bind(library, "sf_close", api.close))) {
      failure = "libsndfile.so.1 lacks the calls mpegdec needs";
      dlclose(library);
    }
  }
  if (!failure.empty()) {
    error = failure;
    return nullptr;
  }
  return &api;
}

class SndfileWriter final : public AudioWriter {
 public:
  static std::unique_ptr<AudioWriter> open(FileType type, int fd, const AudioLayout& layout,
                                           std::string& error) {
    const SndfileApi* sf = sndfile_api(error);
    if (sf == nullptr) return nullptr;
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
    if (!sf->format_check(&info)) {
      error = "libsndfile cannot write this format";
      return nullptr;
    }
    SNDFILE* file = sf->open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) {
      error = sf->strerror(nullptr);
      return nullptr;
    }
    if (type == FileType::kWav) sf->command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf->command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return std::unique_ptr<AudioWriter>(new SndfileWriter(*sf, file, wide));
  }

  ~SndfileWriter() override {
    if (file_ != nullptr) sf_.close(file_);
  }

  void* space(size_t bytes) override {
    if (scratch_.size() * sizeof(float) < bytes) scratch_.resize((bytes + sizeof(float) - 1) / sizeof(float));
    return scratch_.data();
  }

  bool write(size_t count) override {
    const auto n = static_cast<sf_count_t>(count);
    return check(wide_ ? sf_.write_float(file_, scratch_.data(), n)
                       : sf_.write_short(file_, reinterpret_cast<const int16_t*>(scratch_.data()), n),
                 count);
  }
  bool write_from(const void* samples, size_t count) override {
    const auto n = static_cast<sf_count_t>(count);
    return check(wide_ ? sf_.write_float(file_, static_cast<const float*>(samples), n)
                       : sf_.write_short(file_, static_cast<const int16_t*>(samples), n),
                 count);
  }
  bool finish() override {
    if (file_ == nullptr) return error_.empty();
    sf_.write_sync(file_);
    const int status = sf_.error(file_);
    if (status != SF_ERR_NO_ERROR && error_.empty()) error_ = sf_.error_number(status);
    if (sf_.close(file_) != 0 && error_.empty()) error_ = "closing the file failed";
    file_ = nullptr;
    return error_.empty();
  }

 private:
  SndfileWriter(const SndfileApi& sf, SNDFILE* file, bool wide)
      : sf_(sf), file_(file), wide_(wide) {}

  bool check(sf_count_t written, size_t wanted) {
    if (!error_.empty()) return false;
    if (written != static_cast<sf_count_t>(wanted)) {
      error_ = sf_.strerror(file_);
      if (error_.empty() || error_ == "No Error.") error_ = std::strerror(errno ? errno : EIO);
      return false;
    }
    return true;
  }

  const SndfileApi& sf_;
  SNDFILE* file_;
  bool wide_;
  std::vector<float> scratch_;
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
  if (type == FileType::kRaw) {
    return std::make_unique<RawWriter>(
        fd, layout.encoding == SampleEncoding::kFloat32 ? sizeof(float) : sizeof(int16_t));
  }
  return SndfileWriter::open(type, fd, layout, error);
}

}  // namespace mpegin::mpegdec
