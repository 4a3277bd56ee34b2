// One input decoded on several threads gives the bytes of a decode on one thread, in every
// output format, and the number of threads follows -T, -j and the kind of input.
#include <gtest/gtest.h>
#include <sched.h>

#include <regex>
#include <string>
#include <vector>

#include "mpegdec_harness.h"
#include "support/encoded_files.h"

namespace mpegdec_test {
namespace {

int cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
}

// The threads the -v summary names (1 when it names none).
int threads_of(const RunResult& run) {
  std::smatch m;
  return std::regex_search(run.err, m, std::regex(", on ([0-9]+) threads")) ? std::stoi(m[1]) : 1;
}

std::string decode(const std::string& input, std::vector<std::string> args, const std::string& out,
                   int* threads = nullptr) {
  args.insert(args.end(), {"-v", "-y", "-o", out, input});
  const RunResult run = run_mpegdec(args);
  EXPECT_EQ(run.status, 0) << run.err;
  if (threads != nullptr) *threads = threads_of(run);
  return read_file(out);
}

// A stream long enough to be cut into chunks for three threads: the bytes repeated.
std::string repeated(const std::string& bytes, size_t at_least) {
  std::string out;
  while (out.size() < at_least) out += bytes;
  return out;
}

// Every conformance stream, repeated to a few hundred frames: 2 and 3 threads write what 1
// writes (floats).
TEST(Threads, ConformanceStreamsDecodeAsOnOneThread) {
  const std::string dir = mpegin::conformance::directory();
  std::vector<mpegin::conformance::StreamEntry> entries;
  if (!mpegin::conformance::read_manifest(dir, entries)) {
    if (mpegin::conformance::required()) FAIL() << "no conformance streams in " << dir;
    GTEST_SKIP() << "no conformance streams in " << dir;
  }
  TempDir tmp;
  int most = 1;
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.stream);
    write_file(tmp.file("in.mp3"), repeated(read_file(dir + "/" + entry.stream), 250000));
    const std::string one = decode(tmp.file("in.mp3"), {"-T", "1", "--raw", "--format", "f32"}, tmp.file("1.raw"));
    for (const char* n : {"2", "3"}) {
      int threads = 0;
      EXPECT_EQ(decode(tmp.file("in.mp3"), {"-T", n, "--raw", "--format", "f32"}, tmp.file("n.raw"), &threads), one) << n;
      most = std::max(most, threads);
    }
  }
  EXPECT_EQ(most, 3) << "no stream was decoded on three threads";
}

class LongStream : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!mpegin::test_support::have_tool("lame")) GTEST_SKIP() << "lame is not installed";
    ASSERT_TRUE(mpegin::test_support::write_test_wav(dir_.file("in.wav"), 44100, 2, 44100 * 24));
    ASSERT_TRUE(mpegin::test_support::lame_encode(dir_.file("in.wav"), path_, "-b 128"));
  }
  TempDir dir_;
  const std::string path_ = dir_.file("long.mp3");
};

// 920 frames of Layer III with its encoder's gapless tag: floats, 16 bits with a gain, FLAC of
// 24 bits, and whole frames.
TEST_F(LongStream, EveryFormatAsOnOneThread) {
  const std::vector<std::vector<std::string>> formats = {{"--raw", "--format", "f32"},
                                                         {"--raw", "--gain", "-3.5"},
                                                         {"-t", "flac", "--bits", "32", "--gain", "2"},
                                                         {"--raw", "--no-gapless"}};
  for (const auto& format : formats) {
    SCOPED_TRACE(format[1]);
    std::vector<std::string> one = format, three = format;
    one.insert(one.end(), {"-T", "1"});
    three.insert(three.end(), {"-T", "3"});
    int threads = 0;
    EXPECT_EQ(decode(path_, three, dir_.file("3.out"), &threads), decode(path_, one, dir_.file("1.out")));
    EXPECT_EQ(threads, 3);
  }
}

// Dithered: the written-out conversion of the decoder's samples with the module's gain, from
// a seed an open of the module may take (the tick count modulo 50000), across every chunk.
TEST_F(LongStream, DitherRunsOnAcrossTheChunks) {
  const Reference reference = decode_reference(path_);
  int threads = 0;
  const std::vector<int16_t> out =
      shorts_of(decode(path_, {"-T", "2", "--raw", "--dither", "--gain", "-6"}, dir_.file("d.raw"), &threads));
  EXPECT_EQ(threads, 2);
  ASSERT_EQ(out.size(), reference.samples.size());
  const std::vector<int16_t> expected = dithered_reference(reference, 19400, out);   // -6 dB
  ASSERT_FALSE(expected.empty()) << "no seed of the module gives these samples";
  EXPECT_TRUE(expected == out);
}

// -T wins; without it the cores are shared among -j's jobs; standard input takes one.
TEST_F(LongStream, ThreadsFollowTheOptionsAndTheInput) {
  const int n = cores();
  const auto threads_with = [&](std::vector<std::string> args, const std::string& input, const std::string& data = {}) {
    args.insert(args.end(), {"-v", "-y", "--raw", "-o", dir_.file("t.raw"), input});
    RunOptions options;
    options.stdin_data = data;
    const RunResult run = run_mpegdec(args, options);
    EXPECT_EQ(run.status, 0) << run.err;
    return threads_of(run);
  };
  EXPECT_EQ(threads_with({"-T", "2"}, path_), 2);
  EXPECT_EQ(threads_with({}, path_), std::max(1, n));
  EXPECT_EQ(threads_with({"-j", std::to_string(n)}, path_), 1);
  EXPECT_EQ(threads_with({"-j", "2", "-T", "3"}, path_), 3);
  EXPECT_EQ(threads_with({"-T", "3"}, "-", read_file(path_)), 1);
  // A stream whose rate changes is decoded on one thread, quietly.
  write_file(dir_.file("rate.mp3"), read_file(path_) + read_file(sample_path()));
  EXPECT_EQ(threads_with({"-T", "2"}, dir_.file("rate.mp3")), 1);
}

}  // namespace
}  // namespace mpegdec_test
