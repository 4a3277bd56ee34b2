#pragma once

// Files made by an installed encoder (lame) and decoded by an installed peer decoder (mpg123),
// for tests that compare lengths and samples with what people's tools give. Callers skip,
// saying so, when a tool is missing.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace mpegin::test_support {

inline bool have_tool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Standard output of `command` (read in binary); false when it fails.
inline bool run_capture(const std::string& command, std::vector<uint8_t>& out) {
  out.clear();
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  uint8_t block[65536];
  for (size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) out.insert(out.end(), block, block + n);
  return pclose(pipe) == 0;
}

// A 16-bit WAV file of `frames` samples per channel at `rate`: a rising tone in the first
// channel, a steady one in the second, and bursts of noise in both so that encoders switch
// to short blocks now and then.
inline bool write_test_wav(const std::string& path, uint32_t rate, uint32_t channels, uint32_t frames) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const uint32_t data = frames * channels * 2;
  auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) std::fputc(static_cast<int>(v >> (8 * i) & 0xFF), f); };
  auto put16 = [&](uint32_t v) { for (int i = 0; i < 2; ++i) std::fputc(static_cast<int>(v >> (8 * i) & 0xFF), f); };
  std::fputs("RIFF", f);
  put32(36 + data);
  std::fputs("WAVEfmt ", f);
  put32(16);
  put16(1);
  put16(channels);
  put32(rate);
  put32(rate * channels * 2);
  put16(channels * 2);
  put16(16);
  std::fputs("data", f);
  put32(data);
  uint32_t noise = 12345;
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    noise = noise * 1664525u + 1013904223u;
    const double burst = (i % (rate / 4)) < rate / 50 ? 0.4 * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) : 0.0;
    const double values[2] = {0.3 * std::sin(2 * M_PI * (200 * t + 400 * t * t)) + burst,
                              0.3 * std::sin(2 * M_PI * 440 * t) + burst};
    for (uint32_t c = 0; c < channels; ++c) put16(static_cast<uint16_t>(static_cast<int16_t>(values[c] * 32000)));
  }
  return std::fclose(f) == 0;
}

inline bool lame_encode(const std::string& wav, const std::string& mp3, const std::string& options) {
  return std::system(("lame --silent " + options + " '" + wav + "' '" + mp3 + "' >/dev/null 2>&1").c_str()) == 0;
}

// mpg123's output for `mp3` as interleaved floats (full scale 1.0).
inline bool peer_decode(const std::string& mp3, std::vector<float>& samples, const std::string& options = "") {
  std::vector<uint8_t> bytes;
  if (!run_capture("mpg123 -q -e f32 " + options + " -s '" + mp3 + "' 2>/dev/null", bytes)) return false;
  samples.resize(bytes.size() / 4);
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(samples.size() * 4),
            reinterpret_cast<uint8_t*>(samples.data()));
  return true;
}

// RMS difference in units of a 16-bit step.
inline double rms_lsb(const std::vector<float>& a, const std::vector<float>& b) {
  const size_t n = std::min(a.size(), b.size());
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double d = (static_cast<double>(a[i]) - b[i]) * 32768.0;
    sum += d * d;
  }
  return n == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(n));
}

}  // namespace mpegin::test_support
