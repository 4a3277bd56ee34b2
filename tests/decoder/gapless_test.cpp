// Gapless length: the trimming window on its own, and files made by lame decoded against the
// length of their source and against mpg123's output.
#include "decoder/gapless_trim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "bitstream/vbr_header.h"
#include "decoder/decoder_context.h"
#include "support/encoded_files.h"

namespace mpegin {
namespace {

using namespace test_support;

TEST(GaplessTrim, KeepsTheEncodedRangeAcrossFrames) {
  EncoderTag tag;
  tag.present = true;
  tag.delay = 576;
  tag.padding = 792;
  GaplessTrim trim;
  trim.start(tag, 4, 1152, 2);
  EXPECT_EQ(trim.samples(), 4u * 1152 - 576 - 792);
  // Each frame's samples carry their position in the stream; the first frame yields nothing
  // (say a failed check word) and still counts; the fifth is past the tagged count.
  std::vector<float> kept;
  for (uint32_t frame = 0; frame < 5; ++frame) {
    std::vector<float> store(2 * 1152);
    for (uint32_t i = 0; i < store.size(); ++i) store[i] = static_cast<float>(frame * 1152 + i / 2);
    const float* samples = store.data();
    uint32_t bytes = frame == 0 ? 0 : 2 * 1152 * 4;
    trim.trim(1152, samples, bytes);
    kept.insert(kept.end(), samples, samples + bytes / 4);
  }
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.front(), 1152.0f);  // the empty frame's samples are missing, not shifted
  const size_t padding_at = 2 * (4 * 1152 - (792 - 529) - 1152);
  ASSERT_EQ(kept.size(), padding_at + 2 * 1152);
  EXPECT_EQ(kept[padding_at - 1], static_cast<float>(4 * 1152 - (792 - 529) - 1));
  EXPECT_EQ(kept[padding_at], 4.0f * 1152);  // the padding is cut, the frame after it kept

  // Off: whole frames, and the whole length.
  trim.set_enabled(false);
  EXPECT_EQ(trim.samples(), 4u * 1152);
}

TEST(GaplessTrim, TagsThatDoNotFitTheStreamAreIgnored) {
  struct Case {
    bool present;
    uint32_t delay, padding;
    uint64_t frames;
  } cases[] = {{false, 576, 792, 10}, {true, 576, 792, 0}, {true, 4095, 4095, 3}, {true, 1152 - 529, 529, 1}};
  for (const Case& c : cases) {
    EncoderTag tag;
    tag.present = c.present;
    tag.delay = c.delay;
    tag.padding = c.padding;
    GaplessTrim trim;
    trim.start(tag, c.frames, 1152, 1);
    EXPECT_FALSE(trim.tagged()) << c.delay << " " << c.padding << " " << c.frames;
  }
}

TEST(GaplessTrim, DurationGivesBackTheSampleCount) {
  for (int32_t rate : {8000, 11025, 12000, 22050, 32000, 44100, 48000})
    for (uint64_t samples = 1; samples < 2000000; samples = samples * 3 + 7)
      ASSERT_EQ(std::trunc(rate * exact_duration_ms(samples, rate) * 0.001), static_cast<double>(samples))
          << rate << " " << samples;
}

struct Decode {
  bool opened = false;
  StreamInfo info{};
  std::vector<float> samples;
};

Decode decode_file(const std::string& path, bool gapless = true) {
  Decode out;
  DecoderContext context;
  out.opened = context.open(path.c_str()) == 1;
  if (!out.opened) return out;
  context.set_gapless(gapless);
  context.describe(out.info);
  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / 4);
  while (!context.end_of_stream()) {
    const uint32_t bytes = context.decode_next(frame.data());
    out.samples.insert(out.samples.end(), frame.begin(), frame.begin() + bytes / 4);
  }
  return out;
}

class EncodedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_tool("lame")) GTEST_SKIP() << "SKIPPED LOUDLY: lame is not installed; no encoded files to check";
    dir_ = std::filesystem::temp_directory_path() /
           ("mpegin_gapless_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

// 1.5 s and 37 samples: no whole number of frames at any rate.
constexpr uint32_t kSourceSamples = 66150 + 37;

TEST_F(EncodedFiles, LengthsAndSamplesAgreeWithPeerDecoder) {
  const bool peer = have_tool("mpg123");
  if (!peer) std::fprintf(stderr, "SKIPPING LOUDLY the comparison with mpg123: it is not installed\n");
  struct Case {
    const char* name;
    uint32_t channels;
    const char* options;
    int32_t rate;
    const char* version;
    bool exact;  // the source's length comes out (no resampling, a tag)
  } cases[] = {
      {"cbr", 2, "-b 128", 44100, "MPEG-1", true},
      {"vbr", 2, "-V 2", 44100, "MPEG-1", true},
      {"mono_vbr", 1, "-V 5", 44100, "MPEG-1", true},
      {"lsf", 2, "--resample 22.05 -b 64", 22050, "MPEG-2 LSF", false},
      {"lsf_vbr", 1, "--resample 24 -V 4", 24000, "MPEG-2 LSF", false},
      {"mpeg25_8k", 2, "--resample 8 -b 24", 8000, "MPEG-2.5", false},
      {"mpeg25_8k_vbr_mono", 1, "--resample 8 -V 5", 8000, "MPEG-2.5", false},
      {"mpeg25_11k_vbr", 2, "--resample 11.025 -V 3", 11025, "MPEG-2.5", false},
      {"mpeg25_11k_mono", 1, "--resample 11.025 -b 16", 11025, "MPEG-2.5", false},
      {"mpeg25_12k", 2, "--resample 12 -b 32", 12000, "MPEG-2.5", false},
      {"mpeg25_12k_vbr_mono", 1, "--resample 12 -V 6", 12000, "MPEG-2.5", false},
      {"no_tag", 2, "-b 128 -t", 44100, "MPEG-1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string wav = path(std::string(c.name) + ".wav");
    const std::string mp3 = path(std::string(c.name) + ".mp3");
    ASSERT_TRUE(write_test_wav(wav, 44100, c.channels, kSourceSamples));
    ASSERT_TRUE(lame_encode(wav, mp3, c.options));
    const Decode got = decode_file(mp3);
    ASSERT_TRUE(got.opened);
    EXPECT_EQ(got.info.sample_rate, c.rate);
    EXPECT_EQ(got.info.channel_count, static_cast<int32_t>(c.channels));
    EXPECT_STREQ(got.info.version_text, c.version);
    const uint64_t per_channel = got.samples.size() / c.channels;
    if (c.exact) {
      EXPECT_EQ(per_channel, kSourceSamples);
      EXPECT_EQ(std::trunc(c.rate * got.info.duration_ms * 0.001), static_cast<double>(per_channel));
    }
    if (!peer) continue;
    std::vector<float> reference;
    ASSERT_TRUE(peer_decode(mp3, reference));
    EXPECT_EQ(got.samples.size(), reference.size());
    EXPECT_LT(rms_lsb(got.samples, reference), 0.02);
  }
}

// Whole frames: without gapless trimming, and for tags whose values cannot be right (they are
// not trusted and change no sample).
TEST_F(EncodedFiles, WholeFramesWithoutTrimmingOrWithALyingTag) {
  const std::string wav = path("short.wav");
  const std::string mp3 = path("short.mp3");
  ASSERT_TRUE(write_test_wav(wav, 44100, 2, 1000));
  ASSERT_TRUE(lame_encode(wav, mp3, "-b 128"));
  const Decode whole = decode_file(mp3, false);
  ASSERT_TRUE(whole.opened);
  EXPECT_EQ(whole.samples.size() % (2 * 1152), 0u);
  EXPECT_EQ(std::trunc(44100 * whole.info.duration_ms * 0.001), static_cast<double>(whole.samples.size() / 2));
  EXPECT_EQ(decode_file(mp3).samples.size(), 2u * 1000);

  std::vector<uint8_t> bytes;
  ASSERT_TRUE(run_capture("cat '" + mp3 + "'", bytes));
  const std::string text(bytes.begin(), bytes.end());
  const size_t name = text.find("LAME");
  ASSERT_NE(name, std::string::npos);
  const size_t lengths = name + 21;  // delay and padding, 12 bits each
  for (const uint8_t* forged : {(const uint8_t[]){0xFF, 0xFF, 0xFF}, (const uint8_t[]){0xFF, 0xF0, 0x00}}) {
    std::vector<uint8_t> lying = bytes;
    for (int i = 0; i < 3; ++i) lying[lengths + i] = forged[i];
    const std::string lying_path = path("lying.mp3");
    std::FILE* f = std::fopen(lying_path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(lying.data(), 1, lying.size(), f), lying.size());
    std::fclose(f);
    const Decode got = decode_file(lying_path);
    EXPECT_EQ(got.samples, whole.samples);
    EXPECT_NEAR(got.info.duration_ms, whole.info.duration_ms, 1e-3);
  }
}

}  // namespace
}  // namespace mpegin
