#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mpegin::conformance {

// One line of manifest.tsv: an ISO compliance stream and its reference PCM.
struct StreamEntry {
  std::string stream;
  std::string reference;
  int layer = 0;
  std::string version;  // "1.0" MPEG-1, "2.0" MPEG-2 LSF
  int channels = 0;
  int rate = 0;
  int64_t offset = 0;             // interleaved samples the reference starts later
  int64_t decoded_by_peer = 0;    // interleaved samples a widely used decoder delivers
  int64_t reference_samples = 0;  // interleaved samples in the reference file
};

// $MPEG_CONFORMANCE_DIR, or the directory configured at build time.
std::string directory();
// True when env MPEGIN_REQUIRE_CONFORMANCE=1: a missing directory is then a failure.
bool required();
// The entries of <dir>/manifest.tsv; false when it cannot be read or is malformed.
bool read_manifest(const std::string& dir, std::vector<StreamEntry>& entries);

// What one decode of a whole file produced.
struct Decoded {
  bool opened = false;
  int channels = 0;
  int sample_rate = 0;
  int layer = 0;
  std::vector<float> samples;  // interleaved, full scale 1.0
};
Decoded decode_file(const std::string& path);

// 16-bit signed little-endian PCM; false when the file cannot be read.
bool read_pcm16(const std::string& path, std::vector<int16_t>& samples);

// The verdict on one stream against its reference: the decoded floats are scaled by
// 32768 and clipped to [-32768, 32767], not rounded; reference sample i meets decoded
// sample i + offset; at least min(decoded_by_peer - offset, reference) - 1152 x channels
// samples must be compared; the difference must have RMS < 0.32 and max |d| <= 1.0.
struct Comparison {
  int64_t compared = 0;
  int64_t required = 0;
  double rms = 0.0;
  double max_abs = 0.0;
  bool passed() const { return compared >= required && compared > 0 && rms < 0.32 && max_abs <= 1.0; }
};
Comparison compare(const std::vector<float>& decoded, const std::vector<int16_t>& reference,
                   const StreamEntry& entry);

// "| stream | compared | rms | max |" for the table the tests print.
std::string table_row(const StreamEntry& entry, const Comparison& result);

}  // namespace mpegin::conformance
