#include "container_sniff.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace mpegin::mpegdec {

namespace {

constexpr uint16_t kWaveFormatMpeg = 0x0050;
constexpr uint16_t kWaveFormatMpegLayer3 = 0x0055;

uint32_t little_endian32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The format tag of a RIFF/RF64 WAVE file's "fmt " chunk, or -1 when there is none among
// the first chunks.
long wave_format_tag(const ReadAt& read) {
  uint64_t at = 12;
  for (int chunk = 0; chunk < 16; ++chunk) {
    unsigned char head[10];
    const size_t got = read(at, head, sizeof head);
    if (got < 8) return -1;
    const uint32_t size = little_endian32(head + 4);
    if (std::memcmp(head, "fmt ", 4) == 0) return got < 10 ? -1 : head[8] | (head[9] << 8);
    at += 8 + static_cast<uint64_t>(size) + (size & 1);
  }
  return -1;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string foreign_audio_kind(const ReadAt& read) {
  unsigned char magic[16] = {};
  if (read(0, magic, sizeof magic) != sizeof magic) return {};
  const auto starts = [&](const char* text, size_t at = 0) {
    return std::memcmp(magic + at, text, std::strlen(text)) == 0;
  };
  if ((starts("RIFF") || starts("RF64")) && starts("WAVE", 8)) {
    const long tag = wave_format_tag(read);
    return tag == kWaveFormatMpeg || tag == kWaveFormatMpegLayer3 ? std::string() : "WAV";
  }
  if (starts("FORM") && (starts("AIFF", 8) || starts("AIFC", 8))) return "AIFF";
  if (starts("fLaC")) return "FLAC";
  if (starts("OggS")) return "Ogg";
  if (starts("riff") && magic[4] == 0x2E && magic[5] == 0x91 && magic[6] == 0xCF) return "W64";
  return {};
}

std::string foreign_audio_kind(const std::string& path) {
  const std::unique_ptr<std::FILE, FileCloser> in(std::fopen(path.c_str(), "rb"));
  if (!in) return {};
  return foreign_audio_kind([&](uint64_t offset, unsigned char* data, size_t size) -> size_t {
    if (fseeko(in.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
    return std::fread(data, 1, size, in.get());
  });
}

}  // namespace mpegin::mpegdec
