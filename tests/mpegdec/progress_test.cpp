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

// Every message starts on a line of its own, never after the progress of -j.
TEST(Progress, MessagesNeverFollowTheProgressLine) {
  TempDir dir;
  write_file(dir.file("text.mp3"), std::string(3000, 'x'));
  const RunResult run = run_mpegdec_on_terminal(
      {"-j", "2", "-v", "-o", dir.file("out"), sample_path(), dir.file("text.mp3"), dir.file("missing.mp2")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("files done"), std::string::npos) << run.err;
  size_t messages = 0;
  for (size_t at = run.err.find("mpegdec: "); at != std::string::npos; at = run.err.find("mpegdec: ", at + 1)) {
    ++messages;
    const bool line_start = at == 0 || run.err[at - 1] == '\n' || run.err.compare(at - 3, 3, "\033[K") == 0;
    EXPECT_TRUE(line_start) << run.err.substr(at < 20 ? 0 : at - 20, 40);
  }
  EXPECT_EQ(messages, 3u) << run.err;
}

}  // namespace
}  // namespace mpegdec_test
