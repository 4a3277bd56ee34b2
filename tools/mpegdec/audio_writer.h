// Writers for decoded audio: raw interleaved samples, or an audio file through libsndfile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mpegin::mpegdec {

enum class FileType { kWav, kFlac, kAiff, kW64, kRaw };

// Sample encoding of the output: 16-bit integers, or 32-bit floats with full scale 1.0.
enum class SampleEncoding { kInt16, kFloat32 };

struct AudioLayout {
  int sample_rate = 0;
  int channels = 0;
  SampleEncoding encoding = SampleEncoding::kInt16;
};

const char* extension_of(FileType type);           // "wav", "flac", "aiff", "w64", "raw"
bool file_type_from_name(const std::string& name, FileType& type);   // "wav", "flac", ...
bool file_type_from_extension(const std::string& path, FileType& type);

class AudioWriter {
 public:
  virtual ~AudioWriter() = default;
  // Room for `bytes` bytes of interleaved samples in the layout's encoding, valid until the
  // next call; the caller fills it and hands the samples over with write(). Raw output gives
  // a place inside its output buffer, so that samples are decoded straight into it.
  virtual void* space(size_t bytes) = 0;
  // Hands over `count` samples put at space(); false once a write failed.
  virtual bool write(size_t count) = 0;
  // Hands over `count` samples held elsewhere (an input's buffer, valid during the call):
  // written from there, without a copy into space().
  virtual bool write_from(const void* samples, size_t count) = 0;
  // Completes the stream (file headers, buffered bytes); the descriptor stays open.
  virtual bool finish() = 0;
  const std::string& error() const { return error_; }

 protected:
  std::string error_;
};

// Writes to `fd`, which stays owned by the caller. Raw output is little-endian.
std::unique_ptr<AudioWriter> make_audio_writer(FileType type, int fd, const AudioLayout& layout,
                                               std::string& error);

}  // namespace mpegin::mpegdec
