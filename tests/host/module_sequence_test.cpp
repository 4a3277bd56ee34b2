// The host's calling sequence on the built module: open, options, reads until 0, close;
// the samples delivered at each width against the decoder's own floats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/decoder_context.h"
#include "host/host_test_support.h"
#include "host/loaded_module.h"
#include "support/conformance.h"

namespace mpegin::host_test {
namespace {

struct Opened {
  MpegInputHandle handle = nullptr;
  int32_t rate = -1;
  int16_t bits = -1;
  int16_t channels = -1;
  int32_t value = -1;
};

Opened open_input(const std::string& path) {
  Opened o;
  o.handle = loaded_module().OpenFilterInput(path.c_str(), &o.rate, &o.bits, &o.channels, 0, &o.value);
  return o;
}

// The decoder's own output, frame by frame (full scale 1.0).
std::vector<std::vector<float>> reference_frames(const std::string& path, StreamInfo* info = nullptr) {
  std::vector<std::vector<float>> frames;
  DecoderContext context;
  if (context.open(path.c_str()) == 0) return frames;
  if (info != nullptr) context.describe(*info);
  std::vector<float> buffer(DecoderContext::kMaxFrameOutputBytes / 4);
  while (!context.end_of_stream()) {
    const uint32_t bytes = context.decode_next(buffer.data());
    frames.emplace_back(buffer.begin(), buffer.begin() + bytes / 4);
  }
  context.close();
  return frames;
}

class SilentStream : public ::testing::Test {
 protected:
  void SetUp() override {
    write_silent_layer2(stereo_, 4);
    write_silent_layer2(mono_, 3, true);
  }
  void TearDown() override {
    for (MpegInputHandle handle : to_close_) module_.CloseFilterInput(handle);
  }
  Opened open_and_keep(const std::string& path) {
    Opened o = open_input(path);
    if (o.handle != nullptr) to_close_.push_back(o.handle);
    return o;
  }
  void close(MpegInputHandle handle) {
    module_.CloseFilterInput(handle);
    to_close_.erase(std::find(to_close_.begin(), to_close_.end(), handle));
  }

  const LoadedModule& module_ = loaded_module();
  TempDir dir_;
  ScopedEnv config_home_{"XDG_CONFIG_HOME", dir_.path().c_str()};
  std::string stereo_ = dir_.file("stereo.mp2");
  std::string mono_ = dir_.file("mono.mp2");
  std::vector<MpegInputHandle> to_close_;
};

TEST_F(SilentStream, OpenReportsTheStreamAndReadsOneFramePerCall) {
  StreamInfo info{};
  ASSERT_EQ(reference_frames(stereo_, &info).size(), 4u);
  Opened o = open_and_keep(stereo_);
  ASSERT_NE(o.handle, nullptr);
  EXPECT_EQ(o.rate, 44100);
  EXPECT_EQ(o.bits, 16);  // nothing stored
  EXPECT_EQ(o.channels, 2);
  EXPECT_EQ(o.value, 0x4000);
  const int32_t expected_size = static_cast<int32_t>(std::trunc(44100 * info.duration_ms * 0.001)) * 2 * 2;
  EXPECT_EQ(module_.FilterGetFileSize(o.handle), expected_size);
  EXPECT_EQ(module_.FilterOptions(o.handle), 0u);

  int16_t bits = 0;
  int32_t rate = 44100;
  int16_t channels = 2;
  EXPECT_EQ(module_.FilterSetOptions2(o.handle, 0x204E20, &rate, &channels, &bits), 0u);
  EXPECT_EQ(bits, 32);
  EXPECT_EQ(module_.FilterGetFileSize(o.handle), expected_size * 2);
  std::vector<float> buffer(2304, 5.0f);
  for (int frame = 0; frame < 4; ++frame) ASSERT_EQ(module_.ReadFilterInput(o.handle, buffer.data(), 0), 9216);
  for (float sample : buffer) ASSERT_EQ(sample, 0.0f);
  EXPECT_EQ(module_.ReadFilterInput(o.handle, buffer.data(), 0), 0);
  EXPECT_EQ(module_.ReadFilterInput(o.handle, buffer.data(), 0), 0);
}

TEST_F(SilentStream, SingleChannelStream) {
  Opened o = open_and_keep(mono_);
  ASSERT_NE(o.handle, nullptr);
  EXPECT_EQ(o.channels, 1);
  std::vector<int16_t> buffer(2304);
  EXPECT_EQ(module_.ReadFilterInput(o.handle, buffer.data(), 0), 2304);  // 16 bits, 1152 samples
  module_.FilterSetOptions(o.handle, 0x204E20, 44100, 1, 32);
  EXPECT_EQ(module_.ReadFilterInput(o.handle, buffer.data(), 0), 4608);
}

TEST_F(SilentStream, SecondOpenIsRefusedAndTheFirstGoesOn) {
  Opened first = open_and_keep(stereo_);
  ASSERT_NE(first.handle, nullptr);
  std::vector<int16_t> buffer(4608);
  ASSERT_EQ(module_.ReadFilterInput(first.handle, buffer.data(), 0), 4608);

  Opened second = open_and_keep(mono_);
  EXPECT_EQ(second.handle, nullptr);
  EXPECT_EQ(second.rate, -1);  // nothing reported either
  EXPECT_EQ(second.bits, -1);
  EXPECT_EQ(second.channels, -1);
  EXPECT_EQ(second.value, -1);

  int reads = 1;
  while (module_.ReadFilterInput(first.handle, buffer.data(), 0) == 4608) ++reads;
  EXPECT_EQ(reads, 4);
  close(first.handle);
  Opened again = open_and_keep(mono_);
  EXPECT_NE(again.handle, nullptr);
  EXPECT_EQ(again.channels, 1);
}

TEST_F(SilentStream, FilesThatAreNotMpegAudio) {
  Opened missing = open_and_keep(dir_.file("missing.mp3"));
  EXPECT_EQ(missing.handle, nullptr);
  EXPECT_EQ(missing.rate, -1);  // refused before anything is reported
  write_file(dir_.file("text.mp3"), std::string(5000, 'x'));
  Opened text = open_and_keep(dir_.file("text.mp3"));
  EXPECT_EQ(text.handle, nullptr);
  EXPECT_EQ(text.rate, 44100);  // the defaults stay
  EXPECT_EQ(text.bits, 32);
  EXPECT_EQ(text.channels, 2);
  Opened good = open_and_keep(stereo_);  // and nothing was left open
  EXPECT_NE(good.handle, nullptr);
}

TEST_F(SilentStream, NullHandles) {
  char text[64] = "untouched";
  int16_t bits = 7;
  int32_t rate = 1;
  int16_t channels = 1;
  EXPECT_EQ(module_.ReadFilterInput(nullptr, text, 0), 0);
  EXPECT_EQ(module_.FilterGetFileSize(nullptr), 0);
  EXPECT_EQ(module_.FilterOptions(nullptr), 0u);
  EXPECT_EQ(module_.FilterOptionsString(nullptr, text), 0u);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(module_.FilterSetOptions(nullptr, 0x204E20, 44100, 2, 32), 0u);
  EXPECT_EQ(module_.FilterSetOptions2(nullptr, 0x204E20, &rate, &channels, &bits), 0u);
  EXPECT_EQ(bits, 7);
  EXPECT_EQ(module_.FilterGetActualFormat(nullptr, 0x204E20, 0, 0, &bits), 1);
  EXPECT_EQ(bits, 7);
  module_.CloseFilterInput(nullptr);
}

TEST_F(SilentStream, OptionCallsApplyAndReportTheWord) {
  Opened o = open_and_keep(stereo_);
  ASSERT_NE(o.handle, nullptr);
  int32_t rate = 44100;
  int16_t channels = 2, bits = 0;
  EXPECT_EQ(module_.FilterSetOptions2(o.handle, 0, &rate, &channels, &bits), 0u);  // nothing stored: default
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(module_.FilterOptions(o.handle), 0x104E20u);
  {  // word 0 takes the stored word, not the instance's previous one
    write_file(dir_.file("zazave.ini"), "[MPEG Filter]\nInputFormat=2117152\n");
    EXPECT_EQ(module_.FilterSetOptions2(o.handle, 0, &rate, &channels, &bits), 0x104E20u);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(module_.FilterOptions(o.handle), 0x204E20u);
    std::remove(dir_.file("zazave.ini").c_str());
  }
  EXPECT_EQ(module_.FilterSetOptions2(o.handle, 0, &rate, &channels, &bits), 0x204E20u);  // nothing stored: default
  EXPECT_EQ(module_.FilterOptions(o.handle), 0x104E20u);
  EXPECT_EQ(module_.FilterSetOptions(o.handle, 0x100000 | 50000, 44100, 2, 16), 0x104E20u);
  EXPECT_EQ(module_.FilterOptions(o.handle), 0x100000u | 50000u);  // kept as given, applied at 0 dB

  char text[1100];
  EXPECT_EQ(module_.FilterOptionsString(o.handle, text), 0x100000u | 50000u);
  EXPECT_STREQ(text, "MPEG-1 Layer 2\r\n(128 kbit/s)");

  int16_t actual = 0;  // the width of the word applied, whatever word is asked about
  EXPECT_EQ(module_.FilterGetActualFormat(o.handle, 0x204E20, 0, 0, &actual), 1);
  EXPECT_EQ(actual, 16);
}

TEST_F(SilentStream, WidthOtherThanSixteenOrThirtyTwoDeliversThirtyTwo) {
  Opened o = open_and_keep(stereo_);
  ASSERT_NE(o.handle, nullptr);
  std::vector<float> buffer(2304);
  int32_t rate = 44100;
  int16_t channels = 2, bits = 0;
  module_.FilterSetOptions2(o.handle, 24 << 16 | 20000, &rate, &channels, &bits);
  EXPECT_EQ(bits, 32);
  EXPECT_EQ(module_.ReadFilterInput(o.handle, buffer.data(), 0), 9216);
  module_.FilterSetOptions(o.handle, 0 << 16 | 20000, 44100, 2, 16);
  EXPECT_EQ(module_.ReadFilterInput(o.handle, buffer.data(), 0), 9216);
  int16_t actual = 0;
  module_.FilterGetActualFormat(o.handle, 24 << 16 | 20000, 0, 0, &actual);
  EXPECT_EQ(actual, 32);
  module_.FilterSetOptions(o.handle, 0x104E20, 44100, 2, 16);
  EXPECT_EQ(module_.ReadFilterInput(o.handle, buffer.data(), 0), 4608);
}

TEST_F(SilentStream, StoredWidthDecidesTheWidthAtOpen) {
  write_file(dir_.file("zazave.ini"), "[MPEG Filter]\nInputFormat=2117152\n");
  Opened wide = open_and_keep(stereo_);
  ASSERT_NE(wide.handle, nullptr);
  EXPECT_EQ(wide.bits, 32);
  std::vector<float> buffer(2304);
  EXPECT_EQ(module_.ReadFilterInput(wide.handle, buffer.data(), 0), 9216);
  close(wide.handle);

  write_file(dir_.file("zazave.ini"), "[MPEG Filter]\nInputFormat=" + std::to_string(24 << 16 | 20000) + "\n");
  Opened odd = open_and_keep(stereo_);
  ASSERT_NE(odd.handle, nullptr);
  EXPECT_EQ(odd.bits, 16);
  EXPECT_EQ(module_.ReadFilterInput(odd.handle, buffer.data(), 0), 4608);
}

// --- The ISO compliance streams through the module ---

class ComplianceStreams : public ::testing::Test {
 protected:
  // Runs the sequence on every stream with `word` applied by FilterSetOptions2; `check` sees
  // each read's bytes beside the decoder's frame.
  template <class Check>
  void for_each_stream(const std::string& folder, uint32_t word, Check check) {
    std::vector<conformance::StreamEntry> entries;
    ASSERT_TRUE(conformance::read_manifest(folder, entries));
    const LoadedModule& m = loaded_module();
    for (const conformance::StreamEntry& entry : entries) {
      SCOPED_TRACE(entry.stream);
      const std::string path = folder + "/" + entry.stream;
      const std::vector<std::vector<float>> frames = reference_frames(path);
      ASSERT_FALSE(frames.empty());
      Opened o = open_input(path);
      ASSERT_NE(o.handle, nullptr);
      EXPECT_EQ(o.rate, entry.rate);
      EXPECT_EQ(o.channels, entry.channels);
      int32_t rate = o.rate;
      int16_t channels = o.channels, bits = 0;
      m.FilterSetOptions2(o.handle, word, &rate, &channels, &bits);
      std::vector<unsigned char> buffer(9216 + 64, 0xAB);
      for (const std::vector<float>& frame : frames) {
        const int32_t n = m.ReadFilterInput(o.handle, buffer.data(), 0);
        ASSERT_EQ(n, static_cast<int32_t>(frame.size() * bits / 8));
        ASSERT_EQ(buffer[n], 0xAB) << "wrote past its count";
        check(frame, buffer.data());
        if (HasFatalFailure()) {
          m.CloseFilterInput(o.handle);
          return;
        }
      }
      EXPECT_EQ(m.ReadFilterInput(o.handle, buffer.data(), 0), 0);
      m.CloseFilterInput(o.handle);
    }
  }

  TempDir config_;
  ScopedEnv config_home_{"XDG_CONFIG_HOME", config_.path().c_str()};
};

TEST_F(ComplianceStreams, ThirtyTwoBitOutputIsTheDecoderTimesTheGain) {
  HOST_TEST_CONFORMANCE_FOLDER(folder);
  for (uint32_t word : {0x204E20u, 0x205078u}) {  // 0 dB and +6 dB
    const float gain = word == 0x204E20u ? 32768.0f : 65380.754f;
    for_each_stream(folder, word, [gain](const std::vector<float>& frame, const unsigned char* bytes) {
      const float* samples = reinterpret_cast<const float*>(bytes);
      for (std::size_t i = 0; i < frame.size(); ++i) ASSERT_EQ(samples[i], frame[i] * gain) << "sample " << i;
    });
  }
}

TEST_F(ComplianceStreams, SixteenBitOutputTruncatesAndClips) {
  HOST_TEST_CONFORMANCE_FOLDER(folder);
  for (uint32_t word : {0x104E20u, 0x104BC8u, 0x1061A8u}) {  // 0 dB, -6 dB, +50 dB (clips hard)
    const float gain = word == 0x104E20u   ? 32768.0f
                       : word == 0x104BC8u ? 16422.902f
                                           : static_cast<float>(32768.0 * std::pow(10.0, 50 * 0.05));
    int64_t clipped = 0;
    for_each_stream(folder, word, [gain, &clipped](const std::vector<float>& frame, const unsigned char* bytes) {
      const int16_t* samples = reinterpret_cast<const int16_t*>(bytes);
      for (std::size_t i = 0; i < frame.size(); ++i) {
        const float v = frame[i] * gain;
        const int16_t expected = v < -32767.0f ? -32767 : v > 32767.0f ? 32767 : static_cast<int16_t>(v);
        clipped += expected == 32767 || expected == -32767;
        ASSERT_EQ(samples[i], expected) << "sample " << i << " float " << frame[i];
      }
    });
    if (word == 0x1061A8u) {
      EXPECT_GT(clipped, 0);
    }
  }
}

TEST_F(ComplianceStreams, DitheredOutputStaysWithinOneUnit) {
  HOST_TEST_CONFORMANCE_FOLDER(folder);
  double error_sum = 0.0;
  int64_t count = 0;
  for_each_stream(folder, 0x1104E20u, [&](const std::vector<float>& frame, const unsigned char* bytes) {
    const int16_t* samples = reinterpret_cast<const int16_t*>(bytes);
    for (std::size_t i = 0; i < frame.size(); ++i) {
      const double exact = std::fmin(32767.0, std::fmax(-32768.0, frame[i] * 32768.0f));
      ASSERT_LE(std::fabs(samples[i] - exact), 1.5) << "sample " << i;
      error_sum += samples[i] - exact;
      ++count;
    }
  });
  ASSERT_GT(count, 0);
  EXPECT_LT(std::fabs(error_sum / static_cast<double>(count)), 0.05);  // no bias
}

}  // namespace
}  // namespace mpegin::host_test
