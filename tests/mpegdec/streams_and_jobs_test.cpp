// Standard input and output, several inputs in parallel, and the overwrite rule.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "mpegdec_harness.h"

namespace mpegdec_test {
namespace {

class StreamsAndJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    reference_ = decode_reference(sample_path());
    ASSERT_FALSE(reference_.samples.empty());
    sample_bytes_ = read_file(sample_path());
  }

  Reference reference_;
  std::string sample_bytes_;
  TempDir dir_;
};

TEST_F(StreamsAndJobs, StandardInputDecodesLikeTheFile) {
  RunOptions options;
  options.stdin_data = sample_bytes_;
  const RunResult run = run_mpegdec({"--bits", "32", "-o", dir_.file("in.w64"), "-"}, options);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_audio(dir_.file("in.w64")).floats, reference_.samples);
}

TEST_F(StreamsAndJobs, StandardOutputCarriesRawSamplesOnly) {
  const RunResult run = run_mpegdec({"--format", "f32", "-o", "-", sample_path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(floats_of(run.out), reference_.samples);
  // Standard input to standard output, the default for '-' without -o.
  RunOptions options;
  options.stdin_data = sample_bytes_;
  const RunResult piped = run_mpegdec({"-"}, options);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(shorts_of(piped.out), to_16bit(reference_.samples));
}

TEST_F(StreamsAndJobs, GarbageOnStandardInputIsNotMpegAudio) {
  RunOptions options;
  options.stdin_data = std::string(5000, 'x');
  const RunResult run = run_mpegdec({"-o", dir_.file("x.wav"), "-"}, options);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "mpegdec: standard input: not MPEG audio\n");
  EXPECT_FALSE(file_exists(dir_.file("x.wav")));
}

TEST_F(StreamsAndJobs, SeveralInputsInParallelEachGetTheirOwnOutput) {
  std::vector<std::string> args = {"-j", "2", "-t", "flac", "-o", dir_.file("out")};
  for (const char* name : {"a.mp2", "b.mp2", "c.mp2", "d.mp2"}) {
    write_file(dir_.file(name), sample_bytes_);
    args.push_back(dir_.file(name));
  }
  args.push_back(dir_.file("broken.mp2"));   // missing: the others still decode
  const RunResult run = run_mpegdec(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "mpegdec: " + dir_.file("broken.mp2") + ": cannot open (No such file or directory)\n");
  const std::vector<int16_t> expected = to_16bit(reference_.samples);
  for (const char* name : {"a.flac", "b.flac", "c.flac", "d.flac"}) {
    SCOPED_TRACE(name);
    const AudioFile audio = read_audio(dir_.file("out/") + name);
    EXPECT_EQ(audio.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(audio.shorts, expected);
  }
  EXPECT_EQ(run_mpegdec({"-j", "2", "-o", dir_.file("out"), "-t", "flac", dir_.file("a.mp2"), dir_.file("b.mp2")}).status,
            1) << "existing outputs are not replaced without -y";
}

TEST_F(StreamsAndJobs, InputsWritingTheSameOutputAreRefused) {
  ASSERT_EQ(mkdir(dir_.file("x").c_str(), 0777), 0);
  write_file(dir_.file("x/a.mp2"), sample_bytes_);
  write_file(dir_.file("a.mp2"), sample_bytes_);
  const RunResult run = run_mpegdec({"-o", dir_.file("out"), dir_.file("a.mp2"), dir_.file("x/a.mp2")});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("two inputs"), std::string::npos) << run.err;
}

TEST_F(StreamsAndJobs, ExistingFilesAreReplacedOnlyWithOverwrite) {
  const std::string out = dir_.file("out.wav");
  write_file(out, "keep me");
  const RunResult refused = run_mpegdec({"-o", out, sample_path()});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "mpegdec: " + out + ": exists; not replaced (use -y to overwrite)\n");
  EXPECT_EQ(read_file(out), "keep me");
  const RunResult replaced = run_mpegdec({"-y", "-o", out, sample_path()});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(read_audio(out).shorts, to_16bit(reference_.samples));
  // Devices are always written.
  EXPECT_EQ(run_mpegdec({"-o", "/dev/null", "-t", "wav", sample_path()}).status, 0);
  EXPECT_EQ(run_mpegdec({"--raw", "-o", "/dev/null", sample_path()}).status, 0);
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{"out.wav"});
}

// A named pipe is written in place like a device, without -y, and gets every sample.
TEST_F(StreamsAndJobs, ANamedPipeIsWrittenWithoutOverwrite) {
  const std::string fifo = dir_.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] {
    const int fd = open(fifo.c_str(), O_RDONLY);
    char block[65536];
    for (ssize_t n; fd >= 0 && (n = read(fd, block, sizeof block)) > 0;) received.append(block, n);
    if (fd >= 0) close(fd);
  });
  const RunResult run = run_mpegdec({"--raw", "--format", "f32", "-o", fifo, sample_path()});
  // Should mpegdec never have opened the pipe, this lets the reader's open return.
  const int unblock = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (unblock >= 0) close(unblock);
  reader.join();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(floats_of(received), reference_.samples);
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{"pipe"});
}

TEST_F(StreamsAndJobs, TheInputIsNeverItsOwnOutput) {
  const std::string input = dir_.file("song.wav");   // an MPEG stream with a misleading name
  write_file(input, sample_bytes_);
  const RunResult run = run_mpegdec({"-y", input});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is the input file"), std::string::npos) << run.err;
  EXPECT_EQ(read_file(input), sample_bytes_);
}

}  // namespace
}  // namespace mpegdec_test

namespace mpegdec_test {
namespace {

// A frame that fails its CRC check is concealed in its place; decoding goes on to the end of
// the stream, as the decoder itself does.
TEST(DamagedStreams, AFrameFailingItsCrcIsConcealedAndTheRestDecoded) {
  MPEGDEC_CONFORMANCE_STREAM(stream, "l2-fl10");   // protected Layer II
  TempDir dir;
  write_file(dir.file("damaged.mp2"), with_fourth_frame_damaged(read_file(stream)));
  const Reference intact = decode_reference(stream);
  const Reference damaged = decode_reference(dir.file("damaged.mp2"));
  ASSERT_EQ(damaged.samples.size(), intact.samples.size()) << "the damaged frame keeps its place";

  const RunResult run =
      run_mpegdec({"-v", "--raw", "--format", "f32", "-o", dir.file("out.f32"), dir.file("damaged.mp2")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(floats_of(read_file(dir.file("out.f32"))), damaged.samples);
  // The user is told, after the summary and on the progress line: frame 3 of 1152 samples at 32 kHz.
  const std::string told = "1 damaged frame concealed, first at 0:00.108";
  EXPECT_NE(run.err.find("mpegdec: " + dir.file("damaged.mp2") + ": " + told + "\n"), std::string::npos) << run.err;
  const RunResult shown = run_mpegdec_on_terminal({"-y", "-o", dir.file("out.wav"), dir.file("damaged.mp2")});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.err.find("(" + told + ")"), std::string::npos) << shown.err;
}

}  // namespace
}  // namespace mpegdec_test
