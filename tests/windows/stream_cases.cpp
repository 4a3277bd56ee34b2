// The host's calling sequence on ISO compliance streams of each layer, at 32 and 16 bits:
// formats reported, one whole frame per read, the decoded samples against the reference
// output, and the 16-bit and gain paths against the 32-bit delivery sample for sample.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "check.h"
#include "test_host.h"

namespace wintest {
namespace {

struct Stream {
  const char* name;
  const char* extension;       // the host offers files by extension
  int32_t rate;
  int16_t channels;
  int samples_per_frame;       // per channel
  size_t peer_samples;         // interleaved samples a widely used decoder delivers
  size_t reference_samples;    // interleaved samples in the reference output
  const char* description;     // FilterOptionsString
};

const Stream kStreams[] = {
    {"l1-fl2", ".mp1", 44100, 2, 384, 37632, 65536, "MPEG-1 Layer 1\r\n(384 kbit/s)"},
    {"l2-fl13", ".mp2", 32000, 1, 1152, 56448, 65536, "MPEG-1 Layer 2\r\n(32 kbit/s)"},
    {"l2-test32", ".mp2", 24000, 2, 1152, 145152, 145152, "MPEG-2 LSF Layer 2\r\n(128 kbit/s)"},
    {"l3-hecommon", ".mp3", 44100, 2, 1152, 69120, 66816, "MPEG-1 Layer 3\r\n(128 kbit/s)"},
    {"M2L3_compl24", ".mp3", 24000, 1, 576, 122112, 122112, "MPEG-2 LSF Layer 3\r\n(128 kbit/s)"},
};

constexpr uint32_t kWidth32 = 0x200000, kWidth16 = 0x100000, kDither = 0x1000000;
constexpr uint32_t kZeroDb = 20000, kMinus6Db = 19400;
constexpr int32_t kHostBuffer = 9216;  // one frame at 32 bits
constexpr size_t kGuard = 256;

enum class SetCall { by_address, by_value };

struct Delivery {
  bool complete = false;
  std::vector<float> floats;     // width 32
  std::vector<int16_t> samples;  // width 16
  int32_t file_size = 0;
};

// One pass of the host's sequence: identify, offer the name, ask for the suggested type, open,
// set the options, read until 0, close. The stored word decides the width reported at open.
Delivery deliver(const Stream& stream, const std::string& path, uint32_t word, SetCall set_call) {
  ModuleExports& m = module();
  Delivery out;
  const int width = MPEGIN_OPTION_WIDTH(word);
  store_option_text(std::to_string(word).c_str());

  FilterQueryRecord record;
  WT_CHECK_EQ(m.RadozErezEduzad(&record), 1152);
  WT_CHECK_EQ(m.FilterUnderstandsFormat(path.c_str()), 1);
  int32_t rate = -1, value = 0;
  int16_t bits = -1, channels = -1;
  WT_CHECK_EQ(m.GetSuggestedSampleType(&rate, &bits, &channels), width);
  WT_CHECK_EQ(bits, width);

  MpegInputHandle input = m.OpenFilterInput(path.c_str(), &rate, &bits, &channels, 0, &value);
  if (!WT_CHECK(input != nullptr)) return out;
  WT_CHECK_EQ(rate, stream.rate);
  WT_CHECK_EQ(channels, stream.channels);
  WT_CHECK_EQ(bits, width);
  WT_CHECK_EQ(value, 16384);
  if (set_call == SetCall::by_address) {
    bits = -1;
    WT_CHECK_EQ(m.FilterSetOptions2(input, word, &rate, &channels, &bits), 0u);
    WT_CHECK_EQ(bits, width);
  } else {
    WT_CHECK_EQ(m.FilterSetOptions(input, word, rate, channels, bits), 0u);
  }
  WT_CHECK_EQ(m.FilterOptions(input), word);
  char text[1024] = "";
  WT_CHECK_EQ(m.FilterOptionsString(input, text), word);
  WT_CHECK_EQ(std::string(text), stream.description);
  int16_t actual = -1;
  WT_CHECK_EQ(m.FilterGetActualFormat(input, word, 0, 0, &actual), 1);
  WT_CHECK_EQ(actual, width);
  out.file_size = m.FilterGetFileSize(input);

  const int32_t frame_bytes = stream.samples_per_frame * stream.channels * width / 8;
  std::vector<unsigned char> buffer(kHostBuffer + kGuard);
  for (int reads = 0;; ++reads) {
    std::memset(buffer.data(), 0xAB, buffer.size());
    const int32_t n = m.ReadFilterInput(input, buffer.data(), kHostBuffer);
    if (n == 0) {
      out.complete = true;
      break;
    }
    if (!WT_CHECK_EQ(n, frame_bytes) || !WT_CHECK(reads < 100000)) {
      std::printf("    (read %d)\n", reads);
      break;
    }
    const bool guard_intact = std::all_of(buffer.begin() + n, buffer.end(), [](unsigned char b) { return b == 0xAB; });
    if (!WT_CHECK(guard_intact)) break;
    if (width == 32) {
      const size_t at = out.floats.size();
      out.floats.resize(at + n / 4);
      std::memcpy(&out.floats[at], buffer.data(), n);
    } else {
      const size_t at = out.samples.size();
      out.samples.resize(at + n / 2);
      std::memcpy(&out.samples[at], buffer.data(), n);
    }
  }
  WT_CHECK_EQ(m.ReadFilterInput(input, buffer.data(), kHostBuffer), 0);  // stays at the end
  m.CloseFilterInput(input);
  return out;
}

std::vector<int16_t> reference_output(const Stream& stream) {
  std::ifstream in(environment().conformance_dir + stream.name + ".pcm", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(static_cast<unsigned char>(bytes[2 * i]) | static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return samples;
}

// The 32-bit delivery at 0 dB is in 16-bit units: it must match the reference decoder's output
// (rounded to 16 bits) within one unit, with an RMS difference below 0.32.
void check_against_reference(const Stream& stream, const std::vector<float>& decoded) {
  const std::vector<int16_t> reference = reference_output(stream);
  if (!WT_CHECK_EQ(reference.size(), stream.reference_samples)) return;
  const size_t frame = 1152 * static_cast<size_t>(stream.channels);
  const size_t least = std::min(stream.peer_samples, stream.reference_samples) - frame;
  WT_CHECK(decoded.size() >= least);
  WT_CHECK(decoded.size() <= stream.peer_samples + frame);
  const size_t n = std::min(decoded.size(), reference.size());
  double sum = 0.0, largest = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double d = std::clamp(static_cast<double>(decoded[i]), -32768.0, 32767.0) - reference[i];
    sum += d * d;
    largest = std::max(largest, std::fabs(d));
  }
  const double rms = n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
  std::printf("    %s: %zu samples, against the reference: rms %.4f, max %.4f\n", stream.name, decoded.size(), rms, largest);
  WT_CHECK(rms < 0.32);
  WT_CHECK(largest <= 1.0);
}

// Counts the samples where the 16-bit delivery leaves the allowed range around the 32-bit one.
template <class Bounds>
size_t count_outside(const std::vector<float>& floats, const std::vector<int16_t>& samples, Bounds bounds,
                     const char* what) {
  size_t outside = 0;
  for (size_t i = 0; i < std::min(floats.size(), samples.size()); ++i) {
    int lo, hi;
    bounds(floats[i], lo, hi);
    if (samples[i] < lo || samples[i] > hi) {
      if (outside++ == 0) std::printf("    first %s mismatch at %zu: %.3f -> %d\n", what, i, floats[i], samples[i]);
    }
  }
  return outside;
}

void truncate_and_clip(float f, int& lo, int& hi) {
  lo = hi = static_cast<int>(std::clamp(f, -32767.0f, 32767.0f));  // toward zero
}

void round_with_dither(float f, int& lo, int& hi) {  // noise in (-1, 1), then rounding
  lo = static_cast<int>(std::clamp(std::floor(f - 0.5), -32768.0, 32767.0));
  hi = static_cast<int>(std::clamp(std::floor(f + 1.5), -32768.0, 32767.0));
}

void calling_sequence(const Stream& stream) {
  const std::string source = environment().conformance_dir + stream.name + ".bit";
  const std::string path = environment().temp_dir + stream.name + stream.extension;
  if (!WT_CHECK(CopyFileA(source.c_str(), path.c_str(), FALSE))) return;

  const Delivery full = deliver(stream, path, kWidth32 | kZeroDb, SetCall::by_address);
  const Delivery plain16 = deliver(stream, path, kWidth16 | kZeroDb, SetCall::by_address);
  const Delivery dithered = deliver(stream, path, kWidth16 | kDither | kZeroDb, SetCall::by_address);
  const Delivery quieter = deliver(stream, path, kWidth32 | kMinus6Db, SetCall::by_value);
  store_option_text(nullptr);
  DeleteFileA(path.c_str());
  if (!WT_CHECK(full.complete && plain16.complete && dithered.complete && quieter.complete)) return;

  check_against_reference(stream, full.floats);

  // Expected output size: close to what was delivered, and exactly half at 16 bits.
  const double delivered_bytes = 4.0 * static_cast<double>(full.floats.size());
  const double frame_bytes = 4.0 * stream.samples_per_frame * stream.channels;
  WT_CHECK(std::fabs(full.file_size - delivered_bytes) <= std::max(2 * frame_bytes, 0.02 * delivered_bytes));
  WT_CHECK_EQ(plain16.file_size * 2, full.file_size);

  // 16 bits without dither: the 32-bit value truncated toward zero and clipped to +-32767.
  WT_CHECK_EQ(plain16.samples.size(), full.floats.size());
  WT_CHECK_EQ(count_outside(full.floats, plain16.samples, truncate_and_clip, "16-bit"), 0u);

  // With dither: within the noise of the rounded value, clipped to -32768..32767, and the
  // noise is really there.
  WT_CHECK_EQ(dithered.samples.size(), full.floats.size());
  WT_CHECK_EQ(count_outside(full.floats, dithered.samples, round_with_dither, "dithered"), 0u);
  size_t moved = 0;
  for (size_t i = 0; i < std::min(full.floats.size(), dithered.samples.size()); ++i)
    moved += dithered.samples[i] != static_cast<int16_t>(std::clamp(std::floor(full.floats[i] + 0.5f), -32768.0f, 32767.0f));
  WT_CHECK(moved * 20 > dithered.samples.size());

  // -6 dB: every float is the unit-scale sample times the gain, rounded to single precision.
  const float gain = static_cast<float>(32768.0 * std::pow(10.0, -6.0 * 0.05));
  WT_CHECK_EQ(gain, 16422.902f);
  WT_CHECK_EQ(quieter.floats.size(), full.floats.size());
  size_t off = 0;
  for (size_t i = 0; i < std::min(full.floats.size(), quieter.floats.size()); ++i)
    off += quieter.floats[i] != (full.floats[i] / 32768.0f) * gain;
  WT_CHECK_EQ(off, 0u);
}

}  // namespace

void run_stream_cases() {
  const HostEnvironment& env = environment();
  for (const Stream& stream : kStreams) {
    const std::string name = std::string("calling sequence on ") + stream.name;
    if (env.conformance_dir.empty()) {
      skip_case(name, "no compliance streams (pass their directory; MPEG_CONFORMANCE_DIR in run.sh)",
                env.conformance_required);
    } else {
      run_case(name, [&stream] { calling_sequence(stream); });
    }
  }
}

}  // namespace wintest
