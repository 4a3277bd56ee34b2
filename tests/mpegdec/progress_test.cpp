// The progress display: on a terminal only, and never mixed into the audio.
#include <gtest/gtest.h>

#include "mpegdec_harness.h"

namespace mpegdec_test {
namespace {

TEST(Progress, ShownOnATerminalWithPercentTimesAndSpeed) {
  TempDir dir;
  const RunResult run = run_mpegdec_on_terminal({"-o", dir.file("out.wav"), sample_path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find('%'), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" elapsed "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" left "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("x  "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\r\033[K"), std::string::npos) << "the line is cleared at the end";
}

TEST(Progress, AbsentWhenPipedOrQuiet) {
  TempDir dir;
  const RunResult piped = run_mpegdec({"-o", dir.file("a.wav"), sample_path()});
  ASSERT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
  const RunResult quiet = run_mpegdec_on_terminal({"-q", "-o", dir.file("b.wav"), sample_path()});
  ASSERT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
}

TEST(Progress, StandardOutputStaysAudioWhileTheTerminalShowsProgress) {
  const RunResult run = run_mpegdec_on_terminal({"--format", "f32", "-o", "-", sample_path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(floats_of(run.out), decode_reference(sample_path()).samples);
  EXPECT_NE(run.err.find('%'), std::string::npos);
}

}  // namespace
}  // namespace mpegdec_test
