// Every output format, read back and compared with what the decoder delivers.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "mpegdec_harness.h"

namespace mpegdec_test {
namespace {

class OutputFormats : public ::testing::Test {
 protected:
  void SetUp() override {
    reference_ = decode_reference(sample_path());
    ASSERT_FALSE(reference_.samples.empty()) << "the bundled sample does not decode";
  }

  // Decodes the sample with extra arguments into `name` and reads the file back.
  AudioFile decode_to(const std::string& name, std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"-o", dir_.file(name), sample_path()});
    const RunResult run = run_mpegdec(extra);
    EXPECT_EQ(run.status, 0) << run.err;
    const AudioFile audio = read_audio(dir_.file(name));
    EXPECT_TRUE(audio.opened) << name;
    EXPECT_EQ(audio.channels, reference_.channels);
    EXPECT_EQ(audio.sample_rate, reference_.sample_rate);
    return audio;
  }

  Reference reference_;
  TempDir dir_;
};

TEST_F(OutputFormats, RawFloatsAreTheDecodersSamplesExactly) {
  const RunResult run =
      run_mpegdec({"--raw", "--format", "f32", "-o", dir_.file("out.f32"), sample_path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::vector<float> samples = floats_of(read_file(dir_.file("out.f32")));
  ASSERT_EQ(samples.size(), reference_.samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(samples[i], reference_.samples[i]) << "sample " << i;
  }
}

TEST_F(OutputFormats, RawShortsFollowTheModulesTruncationAndClipping) {
  const RunResult run =
      run_mpegdec({"--raw", "--format", "s16", "-o", dir_.file("out.s16"), sample_path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(shorts_of(read_file(dir_.file("out.s16"))), to_16bit(reference_.samples));
}

TEST_F(OutputFormats, DefaultWavIsSixteenBitPcmInAPlainRiffFile) {
  const AudioFile audio = decode_to("out.wav");
  EXPECT_EQ(audio.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
  EXPECT_EQ(audio.shorts, to_16bit(reference_.samples));
  // Below 4 GiB the file stays RIFF WAVE rather than RF64 (libsndfile reads such a file,
  // which keeps room for the RF64 header in a JUNK chunk, back as RF64).
  const std::string header = read_file(dir_.file("out.wav")).substr(0, 16);
  EXPECT_EQ(header.substr(0, 4), "RIFF");
  EXPECT_EQ(header.substr(8, 4), "WAVE");
}

TEST_F(OutputFormats, SixteenBitFilesOfEveryTypeHoldTheSameSamples) {
  const std::vector<int16_t> expected = to_16bit(reference_.samples);
  const struct {
    const char* name;
    int major;
  } types[] = {{"out.flac", SF_FORMAT_FLAC}, {"out.aiff", SF_FORMAT_AIFF}, {"out.w64", SF_FORMAT_W64}};
  for (const auto& type : types) {
    SCOPED_TRACE(type.name);
    const AudioFile audio = decode_to(type.name);
    EXPECT_EQ(audio.format, type.major | SF_FORMAT_PCM_16);
    EXPECT_EQ(audio.shorts, expected);
  }
}

TEST_F(OutputFormats, ThirtyTwoBitFilesHoldTheFloatsExactly) {
  for (const char* name : {"out.wav", "out.aiff", "out.w64"}) {
    SCOPED_TRACE(name);
    const AudioFile audio = decode_to(name, {"--bits", "32"});
    EXPECT_EQ(audio.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(audio.floats, reference_.samples);
  }
}

TEST_F(OutputFormats, ThirtyTwoBitFlacKeepsTwentyFourBits) {
  const AudioFile audio = decode_to("out.flac", {"--bits", "32"});
  EXPECT_EQ(audio.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  ASSERT_EQ(audio.floats.size(), reference_.samples.size());
  double worst = 0.0;
  for (size_t i = 0; i < audio.floats.size(); ++i) {
    const double expected = std::fmin(std::fmax(reference_.samples[i], -1.0), 1.0);
    worst = std::fmax(worst, std::fabs(audio.floats[i] - expected));
  }
  EXPECT_LE(worst, 1.0 / (1 << 22));
}

TEST_F(OutputFormats, DefaultOutputLiesNextToTheInputWithTheTypesExtension) {
  const std::string input = dir_.file("tune.mp2");
  write_file(input, read_file(sample_path()));
  ASSERT_EQ(run_mpegdec({input}).status, 0);
  ASSERT_EQ(run_mpegdec({"-t", "flac", input}).status, 0);
  ASSERT_EQ(run_mpegdec({"--raw", input}).status, 0);
  EXPECT_EQ(read_file(dir_.file("tune.wav")).substr(0, 4), "RIFF");
  EXPECT_EQ(read_audio(dir_.file("tune.flac")).format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_EQ(shorts_of(read_file(dir_.file("tune.raw"))), to_16bit(reference_.samples));
  // Only the outputs: no temporary file is left behind.
  EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"tune.flac", "tune.mp2", "tune.raw", "tune.wav"}));
}

// A name that does not tell the type gets --type, else WAV; so does a device.
TEST_F(OutputFormats, NamesWithoutAKnownExtensionTakeTheTypeOrWav) {
  for (const char* name : {"noext", "song.mp4"}) {
    EXPECT_EQ(decode_to(name).shorts, to_16bit(reference_.samples));
    EXPECT_EQ(read_file(dir_.file(name)).substr(0, 4), "RIFF") << name;
  }
  EXPECT_EQ(decode_to("other", {"-t", "flac"}).format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_EQ(decode_to("same.aif", {"-t", "aiff"}).format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
  const RunResult device = run_mpegdec({"-o", "/dev/null", sample_path()});
  EXPECT_EQ(device.status, 0) << device.err;
}

// libsndfile and the codec libraries it pulls in are loaded only for audio files: raw output
// must not carry their memory (the dynamic loader names every library it loads).
TEST_F(OutputFormats, OnlyAudioFilesLoadTheSoundFileLibrary) {
  RunOptions options;
  options.env = {{"LD_DEBUG", "files"}};
  const RunResult raw =
      run_mpegdec({"--raw", "--format", "f32", "-o", dir_.file("out.f32"), sample_path()}, options);
  ASSERT_EQ(raw.status, 0) << raw.err;
  ASSERT_NE(raw.err.find("libmpeginput"), std::string::npos) << "no loader trace: " << raw.err;
  EXPECT_EQ(raw.err.find("libsndfile"), std::string::npos);
  const RunResult wav = run_mpegdec({"-o", dir_.file("out.wav"), sample_path()}, options);
  ASSERT_EQ(wav.status, 0) << wav.err;
  EXPECT_NE(wav.err.find("libsndfile"), std::string::npos);
  EXPECT_EQ(read_audio(dir_.file("out.wav")).shorts, to_16bit(reference_.samples));
}

// Without a loadable libsndfile an audio file fails with one line that says why, and raw
// output is not affected.
TEST_F(OutputFormats, AnUnloadableSoundFileLibraryFailsAudioFilesOnly) {
  TempDir libs;
  write_file(libs.file("libsndfile.so.1"), "not a library");
  RunOptions options;
  options.env = {{"LD_LIBRARY_PATH", libs.path()}};
  const std::string wav = dir_.file("out.wav");
  const RunResult failed = run_mpegdec({"-o", wav, sample_path()}, options);
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err.rfind("mpegdec: " + wav + ": write failed (audio files need libsndfile.so.1", 0), 0u)
      << failed.err;
  EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
  EXPECT_FALSE(file_exists(wav));
  const RunResult raw = run_mpegdec({"--raw", "-o", dir_.file("out.raw"), sample_path()}, options);
  EXPECT_EQ(raw.status, 0) << raw.err;
  EXPECT_EQ(shorts_of(read_file(dir_.file("out.raw"))), to_16bit(reference_.samples));
}

// The module's 32-bit path for the other layers, where the conformance streams are at hand.
TEST(OutputFormatsLayers, LayerOneAndThreeRawFloatsMatchTheDecoder) {
  MPEGDEC_CONFORMANCE_STREAM(layer1, "l1-fl1");
  MPEGDEC_CONFORMANCE_STREAM(layer3, "l3-compl");
  MPEGDEC_CONFORMANCE_STREAM(lsf3, "M2L3_compl24");
  TempDir dir;
  for (const std::string& stream : {layer1, layer3, lsf3}) {
    SCOPED_TRACE(stream);
    const RunResult run = run_mpegdec({"--raw", "--format", "f32", "-o", dir.file("out.f32"), "-y", stream});
    ASSERT_EQ(run.status, 0) << run.err;
    const Reference reference = decode_reference(stream);
    ASSERT_FALSE(reference.samples.empty());
    EXPECT_EQ(floats_of(read_file(dir.file("out.f32"))), reference.samples);
  }
}

}  // namespace
}  // namespace mpegdec_test
