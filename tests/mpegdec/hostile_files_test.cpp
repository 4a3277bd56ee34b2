// Hostile files through mpegdec: each run ends with status 0 (decoded) or 1 with exactly one
// line on the standard error stream naming the file, never by a signal, a sanitizer report
// or a hang, and a failed decode leaves no output file behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "../fuzz/hostile_fixtures.h"
#include "mpegdec_harness.h"

namespace mpegdec_test {
namespace {

using mpegin::hostile::Fixture;
using mpegin::hostile::Outcome;

// Bounds the processor time of the programs started while it lives (the limit is inherited),
// so that a decoder that never finishes is ended by SIGXCPU instead of hanging the test.
class CpuTimeLimit {
 public:
  explicit CpuTimeLimit(rlim_t seconds) {
    getrlimit(RLIMIT_CPU, &saved_);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    rlimit limit = saved_;
    limit.rlim_cur = static_cast<rlim_t>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + seconds;
    if (saved_.rlim_max == RLIM_INFINITY || limit.rlim_cur < saved_.rlim_max) setrlimit(RLIMIT_CPU, &limit);
  }
  ~CpuTimeLimit() { setrlimit(RLIMIT_CPU, &saved_); }
  CpuTimeLimit(const CpuTimeLimit&) = delete;
  CpuTimeLimit& operator=(const CpuTimeLimit&) = delete;

 private:
  rlimit saved_{};
};

void expect_clear_result(const RunResult& run, const std::string& shown_name) {
  ASSERT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status << "\n" << run.err;
  if (run.status == 1) {
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("mpegdec: " + shown_name + ": ", 0), 0u) << run.err;
  }
}

class HostileInput : public ::testing::TestWithParam<Fixture> {};

TEST_P(HostileInput, EndsWithOneLineOrADecode) {
  const Fixture& fixture = GetParam();
  TempDir dir;
  const std::string input = dir.file("hostile.mp3"), output = dir.file("out.wav");
  write_file(input, std::string(fixture.bytes.begin(), fixture.bytes.end()));
  const CpuTimeLimit limit(120);
  const RunResult run = run_mpegdec({"-q", "-o", output, input});
  expect_clear_result(run, input);
  if (fixture.outcome == Outcome::kRefused) {
    EXPECT_EQ(run.status, 1);
  } else if (fixture.outcome == Outcome::kDecodes) {
    EXPECT_EQ(run.status, 0) << run.err;
  }
  EXPECT_EQ(file_exists(output), run.status == 0);

  const RunResult info = run_mpegdec({"--info", input});
  expect_clear_result(info, input);
  EXPECT_EQ(info.status == 0, run.status == 0) << "--info and decoding disagree\n" << info.err << run.err;
}

// Every fixture except the variants that only differ in their bodies: one run of mpegdec
// costs far more than a decode in the process.
std::vector<Fixture> fixtures_for_mpegdec() {
  std::vector<Fixture> chosen;
  for (Fixture& f : mpegin::hostile::fixtures()) {
    const std::string& n = f.name;
    const bool ends_with_zeros = n.size() > 6 && n.compare(n.size() - 6, 6, "_zeros") == 0;
    if (n.rfind("header_", 0) == 0 && ends_with_zeros) continue;
    if (n.rfind("layer3_", 0) == 0 && n.find("_begin511") != std::string::npos) continue;
    chosen.push_back(std::move(f));
  }
  return chosen;
}

INSTANTIATE_TEST_SUITE_P(Generated, HostileInput, ::testing::ValuesIn(fixtures_for_mpegdec()),
                         mpegin::hostile::FixtureName());

// Names that are no readable MPEG file.
class HostilePlace : public ::testing::TestWithParam<const char*> {};

TEST_P(HostilePlace, EndsWithOneLine) {
  const std::string which = GetParam();
  TempDir dir;
  std::string path;
  if (which == "missing") {
    path = dir.file("missing.mp3");
  } else if (which == "directory") {
    path = dir.file("folder.mp3");
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  } else if (which == "no_permission") {
    if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not bind (see process_memory)";
    path = dir.file("locked.mp3");
    write_file(path, read_file(sample_path()));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
  } else if (which == "process_memory") {
    path = "/proc/self/mem";
  } else if (which == "endless_device") {
    path = "/dev/zero";
  }
  const std::string output = dir.file("out.wav");
  const CpuTimeLimit limit(120);
  const RunResult run = run_mpegdec({"-q", "-o", output, path});
  EXPECT_EQ(run.status, 1) << run.err;
  expect_clear_result(run, path);
  EXPECT_FALSE(file_exists(output));
}

INSTANTIATE_TEST_SUITE_P(Places, HostilePlace,
                         ::testing::Values("missing", "directory", "no_permission", "process_memory",
                                           "endless_device"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// A named pipe given as the input file must not block mpegdec while nobody writes to it.
TEST(HostilePipe, AFifoWithoutWriterDoesNotBlock) {
  TempDir dir;
  const std::string fifo = dir.file("pipe.mp3");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  RunOptions options;
  options.config_home = dir.file("config");
  mkdir(options.config_home.c_str(), 0700);
  const int nothing = open("/dev/null", O_RDONLY);
  const int pid = spawn_mpegdec({"-q", "-o", dir.file("out.wav"), fifo}, options, nothing);
  close(nothing);
  ASSERT_GT(pid, 0);
  int status = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      FAIL() << "mpegdec waited for a writer of the pipe";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace mpegdec_test
