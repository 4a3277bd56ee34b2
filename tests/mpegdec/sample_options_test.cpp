// --bits, --gain and --dither as the OptionWord the module applies, and the stored options
// that apply when none is given.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "mpegdec_harness.h"

namespace mpegdec_test {
namespace {

class SampleOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    reference_ = decode_reference(sample_path());
    ASSERT_FALSE(reference_.samples.empty());
  }

  std::string decode(std::vector<std::string> args, const RunOptions& options = {}) {
    args.insert(args.end(), {"-y", "-o", dir_.file("out.raw"), "--raw", sample_path()});
    const RunResult run = run_mpegdec(args, options);
    EXPECT_EQ(run.status, 0) << run.err;
    return read_file(dir_.file("out.raw"));
  }

  Reference reference_;
  TempDir dir_;
};

TEST_F(SampleOptions, GainScalesFloatsByTheModulesFactor) {
  for (const auto& [text, scale] : {std::pair<const char*, uint32_t>{"6", 20600}, {"-6", 19400},
                                    {"-20.5", 17950}, {"0.01", 20001},
                                    {"56.03", 25603}}) {  // (56.03 + 200) x 100 is 25602.99.. in binary
    SCOPED_TRACE(text);
    const std::vector<float> out = floats_of(decode({"--bits", "32", "--gain", text}));
    ASSERT_EQ(out.size(), reference_.samples.size());
    const float gain = module_gain(scale);
    for (size_t i = 0; i < out.size(); ++i) {
      ASSERT_EQ(out[i], reference_.samples[i] * gain / 32768.0f) << "sample " << i;
    }
  }
}

TEST_F(SampleOptions, GainAtSixteenBitsClipsSymmetrically) {
  const std::vector<int16_t> out = shorts_of(decode({"--gain", "40"}));
  EXPECT_EQ(out, to_16bit(reference_.samples, module_gain(24000)));
  int clipped = 0;
  for (const int16_t v : out) {
    EXPECT_GE(v, -32767);
    clipped += std::abs(v) == 32767;
  }
  EXPECT_GT(clipped, 0) << "+40 dB should drive the sample into clipping";
}

TEST_F(SampleOptions, DitherRoundsWithinOneAndAHalfStepsAndIsNotTruncation) {
  const std::vector<int16_t> out = shorts_of(decode({"--dither"}));
  ASSERT_EQ(out.size(), reference_.samples.size());
  const std::vector<int16_t> truncated = to_16bit(reference_.samples);
  size_t differing = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double exact = std::fmin(std::fmax(reference_.samples[i] * 32768.0, -32768.0), 32767.0);
    ASSERT_LE(std::fabs(out[i] - exact), 1.5) << "sample " << i;
    differing += out[i] != truncated[i];
  }
  EXPECT_GT(differing, out.size() / 10);
}

TEST_F(SampleOptions, StoredOptionsApplyOnlyWhenNoneIsGiven) {
  const std::string config = dir_.file("config");
  ASSERT_EQ(std::system(("mkdir -p '" + config + "'").c_str()), 0);
  // 32-bit at -6 dB, as the options dialog stores it.
  write_file(config + "/zazave.ini", "[MPEG Filter]\nInputFormat=2116552\n");
  RunOptions options;
  options.config_home = config;
  const std::vector<float> stored = floats_of(decode({}, options));
  ASSERT_EQ(stored.size(), reference_.samples.size());
  EXPECT_EQ(stored[1000], reference_.samples[1000] * module_gain(19400) / 32768.0f);
  // Any option of the word replaces the stored word entirely: 16-bit at 0 dB here.
  EXPECT_EQ(shorts_of(decode({"--bits", "16"}, options)), to_16bit(reference_.samples));
  // A WAV written with the stored options is a float WAV.
  ASSERT_EQ(run_mpegdec({"-o", dir_.file("stored.wav"), sample_path()}, options).status, 0);
  EXPECT_EQ(read_audio(dir_.file("stored.wav")).format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
}

TEST_F(SampleOptions, VerboseSummaryNamesTheAppliedOptions) {
  const RunResult run = run_mpegdec({"-v", "--bits", "32", "--gain", "6", "-o", dir_.file("v.wav"), sample_path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("32-bit, +6 dB"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST(SampleOptionsUsage, ContradictoryOrOutOfRangeOptionsAreUsageErrors) {
  TempDir dir;
  const std::vector<std::vector<std::string>> bad = {
      {"--gain", "-300"}, {"--gain", "201"},  {"--gain", "loud"},    {"--bits", "24"},
      {"--dither", "--bits", "32"},           {"--format", "f32", "--bits", "16"},
      {"--format", "u8"}, {"-q", "-v"},       {"--type", "mp3"},     {"--jobs", "0"},
      {"--gain", "1e1"},  {"--gain", "inf"},  {"--gain", " 6"},     {"--no-such-option"}};
  for (std::vector<std::string> args : bad) {
    args.insert(args.end(), {"-o", dir.file("x.wav"), sample_path()});
    const RunResult run = run_mpegdec(args);
    EXPECT_EQ(run.status, 2) << args[0] << " " << args[1] << ": " << run.err;
    EXPECT_FALSE(run.err.empty());
  }
  EXPECT_FALSE(file_exists(dir.file("x.wav")));
}

}  // namespace
}  // namespace mpegdec_test

namespace mpegdec_test {
namespace {

// The form refuses gains the command line refuses and shows the range; a choice that cannot
// be stored (the profile's place is taken by a directory, which stops root too) is an error.
TEST(StoredOptions, RefusedGainsAndAFailedStoreAreSaid) {
  TempDir dir;
  RunOptions options;
  options.config_home = dir.file("config");
  options.env = {{"MPEGIN_DIALOG", "terminal"}};
  options.stdin_data = "=abc\n\n=999\n\n=-6\n\n";
  const RunResult typed = run_mpegdec({"--options"}, options);
  ASSERT_EQ(typed.status, 0) << typed.err;
  const size_t refusal = typed.err.find("[-199 to 200] dB");
  ASSERT_NE(refusal, std::string::npos) << typed.err;
  EXPECT_NE(typed.err.find("[-199 to 200] dB", refusal + 1), std::string::npos) << "both refused: " << typed.err;
  EXPECT_NE(typed.err.find("stored options 1067976: 16-bit, -6 dB"), std::string::npos) << typed.err;

  ASSERT_EQ(mkdir(dir.file("taken").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir.file("taken/zazave.ini").c_str(), 0700), 0);
  options.config_home = dir.file("taken");
  options.stdin_data = "=3\n\n";
  const RunResult unsaved = run_mpegdec({"--options"}, options);
  EXPECT_EQ(unsaved.status, 1);
  EXPECT_NE(unsaved.err.find("mpegdec: " + dir.file("taken/zazave.ini") +
                             ": cannot store the options 1068876 (16-bit, +3 dB): Is a directory\n"),
            std::string::npos)
      << unsaved.err;
  EXPECT_EQ(unsaved.err.find("stored options"), std::string::npos);
}

// --options runs the module's dialog; here its text form reads the user's keys from
// standard input.
TEST(StoredOptions, TheOptionsDialogStoresTheWordThatLaterDecodesUse) {
  TempDir dir;
  RunOptions options;
  options.config_home = dir.file("config");
  options.env = {{"MPEGIN_DIALOG", "terminal"}};
  options.stdin_data = "32-bit\n=6\n\n";   // choose 32-bit, type 6 dB, press OK
  const RunResult chosen = run_mpegdec({"--options"}, options);
  ASSERT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_NE(chosen.err.find("stored options 2117752: 32-bit, +6 dB"), std::string::npos) << chosen.err;
  EXPECT_NE(read_file(dir.file("config/zazave.ini")).find("InputFormat=2117752"), std::string::npos);

  options.stdin_data = "16-bit\nCancel\n";
  const RunResult cancelled = run_mpegdec({"--options"}, options);
  ASSERT_EQ(cancelled.status, 0) << cancelled.err;
  EXPECT_NE(cancelled.err.find("options unchanged"), std::string::npos) << cancelled.err;

  options.env.clear();
  const RunResult no_terminal = run_mpegdec({"--options"}, options);
  EXPECT_EQ(no_terminal.status, 2);
  EXPECT_EQ(no_terminal.err, "mpegdec: --options needs a terminal\n");

  options.stdin_data.clear();
  ASSERT_EQ(run_mpegdec({"--raw", "-o", dir.file("out.raw"), sample_path()}, options).status, 0);
  const Reference reference = decode_reference(sample_path());
  const std::vector<float> out = floats_of(read_file(dir.file("out.raw")));
  ASSERT_EQ(out.size(), reference.samples.size());
  EXPECT_EQ(out[777], reference.samples[777] * module_gain(20600) / 32768.0f);
}

}  // namespace
}  // namespace mpegdec_test
