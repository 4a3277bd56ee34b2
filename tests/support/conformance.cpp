#include "support/conformance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "decoder/decoder_context.h"

namespace mpegin::conformance {

std::string directory() {
  const char* dir = std::getenv("MPEG_CONFORMANCE_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  return MPEGIN_CONFORMANCE_DEFAULT;
}

bool required() {
  const char* value = std::getenv("MPEGIN_REQUIRE_CONFORMANCE");
  return value != nullptr && std::string(value) == "1";
}

bool read_manifest(const std::string& dir, std::vector<StreamEntry>& entries) {
  std::ifstream in(dir + "/manifest.tsv");
  if (!in) return false;
  entries.clear();
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    StreamEntry e;
    if (!(fields >> e.stream >> e.reference >> e.layer >> e.version >> e.channels >> e.rate >>
          e.offset >> e.decoded_by_peer >> e.reference_samples)) {
      return false;
    }
    entries.push_back(e);
  }
  return !entries.empty();
}

Decoded decode_file(const std::string& path) {
  Decoded result;
  DecoderContext context;
  if (context.open(path.c_str()) == 0) return result;
  result.opened = true;
  StreamInfo info{};
  context.describe(info);
  result.channels = info.channel_count;
  result.sample_rate = info.sample_rate;
  result.layer = info.layer;
  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / sizeof(float));
  while (!context.end_of_stream()) {
    const uint32_t bytes = context.decode_next(frame.data());
    result.samples.insert(result.samples.end(), frame.begin(), frame.begin() + bytes / sizeof(float));
  }
  context.close();
  return result;
}

bool read_pcm16(const std::string& path, std::vector<int16_t>& samples) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  samples.resize(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return true;
}

Comparison compare(const std::vector<float>& decoded, const std::vector<int16_t>& reference,
                   const StreamEntry& entry) {
  Comparison result;
  const int64_t available = static_cast<int64_t>(decoded.size()) - entry.offset;
  const int64_t reference_count = static_cast<int64_t>(reference.size());
  result.compared = std::max<int64_t>(0, std::min(available, reference_count));
  result.required = std::min(entry.decoded_by_peer - entry.offset, reference_count) -
                    1152 * static_cast<int64_t>(entry.channels);
  double sum = 0.0;
  for (int64_t i = 0; i < result.compared; ++i) {
    const double scaled = std::clamp(static_cast<double>(decoded[i + entry.offset]) * 32768.0,
                                     -32768.0, 32767.0);
    const double d = scaled - reference[i];
    sum += d * d;
    result.max_abs = std::max(result.max_abs, std::fabs(d));
  }
  if (result.compared > 0) result.rms = std::sqrt(sum / static_cast<double>(result.compared));
  return result;
}

std::string table_row(const StreamEntry& entry, const Comparison& result) {
  char row[160];
  std::snprintf(row, sizeof row, "| %-16s | %8lld | %8.4f | %7.3f | %s |", entry.stream.c_str(),
                static_cast<long long>(result.compared), result.rms, result.max_abs,
                result.passed() ? "pass" : "FAIL");
  return row;
}

}  // namespace mpegin::conformance
