// What goes wrong: one line per failure naming the file and the reason, the exit status,
// and no output file under its final name unless it is complete.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "mpegdec_harness.h"

namespace mpegdec_test {
namespace {

bool is_one_line(const std::string& text) {
  return !text.empty() && text.back() == '\n' && std::count(text.begin(), text.end(), '\n') == 1;
}

TEST(Failures, InputsThatCannotBeDecodedFailWithOneLineEach) {
  TempDir dir;
  const std::string wav = dir.file("renamed.mp3");
  ASSERT_EQ(run_mpegdec({"-o", dir.file("real.wav"), sample_path()}).status, 0);
  write_file(wav, read_file(dir.file("real.wav")));
  write_file(dir.file("empty.mp3"), "");
  write_file(dir.file("noise.mp3"), std::string(3000, '\x55'));
  // A lone header with the reserved sampling frequency.
  write_file(dir.file("reserved.mp2"), std::string("\xFF\xFD\x9C\x00", 4) + std::string(413, '\0'));
  ASSERT_EQ(mkdir(dir.file("folder.mp3").c_str(), 0777), 0);
  const struct {
    std::string input;
    std::string message;
  } cases[] = {
      {dir.file("missing.mp3"), "cannot open (No such file or directory)"},
      {dir.file("folder.mp3"), "cannot open (is a directory)"},
      {wav, "not MPEG audio (WAV data)"},
      {dir.file("noise.mp3"), "not MPEG audio"},
      {dir.file("reserved.mp2"), "not MPEG audio"},
      {dir.file("empty.mp3"), "not MPEG audio (empty file)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const RunResult run = run_mpegdec({"-o", dir.file("out.wav"), c.input});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "mpegdec: " + c.input + ": " + c.message + "\n");
    EXPECT_TRUE(is_one_line(run.err));
    EXPECT_FALSE(file_exists(dir.file("out.wav")));
    const RunResult info = run_mpegdec({"--info", c.input});
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.err, "mpegdec: " + c.input + ": " + c.message + "\n");
  }
  // -v adds the decoder's own reason, where it has one.
  const std::string reserved = dir.file("reserved.mp2");
  EXPECT_EQ(run_mpegdec({"-v", "-o", dir.file("out.wav"), reserved}).err,
            "mpegdec: " + reserved + ": not MPEG audio\nUnknown sample frequency!\n");
}

TEST(Failures, OneFailedInputDoesNotStopTheOthers) {
  TempDir dir;
  const RunResult run = run_mpegdec({"-o", dir.file("out"), dir.file("nothing.mp2"), sample_path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(is_one_line(run.err)) << run.err;
  std::string stem = sample_path().substr(sample_path().rfind('/') + 1);
  stem = stem.substr(0, stem.rfind('.'));
  EXPECT_TRUE(file_exists(dir.file("out/" + stem + ".wav")));
}

TEST(Failures, UnwritableOutputsReportAWriteFailure) {
  TempDir dir;
  const RunResult no_dir = run_mpegdec({"-o", dir.file("no/such/dir/out.wav"), sample_path()});
  EXPECT_EQ(no_dir.status, 1);
  EXPECT_EQ(no_dir.err, "mpegdec: " + dir.file("no/such/dir/out.wav") +
                            ": write failed (No such file or directory)\n");
  const RunResult full = run_mpegdec({"--raw", "-o", "/dev/full", sample_path()});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "mpegdec: /dev/full: write failed (No space left on device)\n");
}

TEST(Failures, AFileThatCannotBeCompletedLeavesNothingBehind) {
  TempDir dir;
  RunOptions limited;
  limited.file_size_limit = 20000;   // the decoded sample is several hundred kilobytes
  for (const char* name : {"out.wav", "out.raw", "out.flac"}) {
    SCOPED_TRACE(name);
    const RunResult run = run_mpegdec({"-o", dir.file(name), sample_path()}, limited);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("mpegdec: " + dir.file(name) + ": write failed (", 0), 0u) << run.err;
    EXPECT_TRUE(is_one_line(run.err)) << run.err;
    EXPECT_TRUE(dir.entries().empty()) << "left: " << dir.entries().front();
  }
}

TEST(Failures, UsageErrorsExitWithTwoAndCreateNothing) {
  TempDir dir;
  const std::string in = sample_path();
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{}, "no input files"},
      {{"-o", "-", in, in}, "standard output takes one input only"},
      {{"-", "-"}, "standard input can be read only once"},
      {{"-o", dir.file("x.mp3"), in}, "'" + dir.file("x.mp3") + "' names MPEG audio"},
      {{"-t", "flac", "-o", dir.file("x.wav"), in},
       "--type flac contradicts the output name '" + dir.file("x.wav") + "', which names wav"},
      {{"--raw", "-o", dir.file("x.flac"), in},
       "--raw contradicts the output name '" + dir.file("x.flac") + "', which names flac"},
      {{"-o", dir.file("single.wav"), in, dir.file("b.mp2")},
       "output '" + dir.file("single.wav") + "' names a file, but there are several inputs"},
      // Refused after the directory would have been made: it is not made either.
      {{"-o", dir.file("new"), in, dir.file("elsewhere/chime.mp2")}, "two inputs would be written"},
      {{"--gain", "0x10", in}, "'0x10' is not a decimal number of decibels (-199 to 200)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    const RunResult run = run_mpegdec(c.args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  EXPECT_TRUE(dir.entries().empty()) << dir.entries().front();
  const RunResult help = run_mpegdec({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Examples:"), std::string::npos);
  const RunResult version = run_mpegdec({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("mpegdec ", 0), 0u);
}

TEST(Failures, AMissingModuleIsReported) {
  RunOptions options;
  options.env = {{"MPEGIN_MODULE", "/nonexistent/libmpeginput.so"}};
  const RunResult run = run_mpegdec({"--info", sample_path()}, options);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "mpegdec: cannot load the input module: /nonexistent/libmpeginput.so (from MPEGIN_MODULE): No such file "
            "or directory\n");
}

}  // namespace
}  // namespace mpegdec_test

namespace mpegdec_test {
namespace {

// Waits up to ten seconds for a file whose name contains `part` to appear in `dir`.
bool wait_for_entry(const TempDir& dir, const std::string& part) {
  for (int i = 0; i < 10000; ++i) {
    for (const std::string& name : dir.entries()) {
      if (name.find(part) != std::string::npos) return true;
    }
    usleep(1000);
  }
  return false;
}

TEST(Interrupted, ATerminatedDecodeLeavesNoPartialOutput) {
  TempDir dir;
  std::string long_stream;
  const std::string sample = read_file(sample_path());
  // MPEG audio frames simply follow on. Long enough, on one thread, that the decode is still
  // running when the signal comes, also on a loaded machine.
  for (int i = 0; i < 1000; ++i) long_stream += sample;
  write_file(dir.file("long.mp2"), long_stream);
  const int no_input = open("/dev/null", O_RDONLY);
  const int pid =
      spawn_mpegdec({"-T", "1", "-o", dir.file("long.wav"), dir.file("long.mp2")}, {}, no_input);
  close(no_input);
  ASSERT_TRUE(wait_for_entry(dir, ".part-")) << "no temporary output appeared";
  kill(pid, SIGTERM);
  EXPECT_EQ(wait_mpegdec(pid), 128 + SIGTERM);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"long.mp2"});
}

std::vector<std::string> entries_with(const TempDir& dir, const std::string& part) {
  std::vector<std::string> found;
  for (const std::string& name : dir.entries()) {
    if (name.find(part) != std::string::npos) found.push_back(name);
  }
  return found;
}

// SIGTERM or SIGINT to mpegdec ends every decode at once, in every process, removes the partial
// files and ends mpegdec by the same signal; also when SIGINT was ignored at the start, as a
// script's '&' leaves it.
TEST(Interrupted, ASignalEndsEveryDecoderAndLeavesNoPartialFiles) {
  TempDir inputs;
  std::string long_stream;
  const std::string sample = read_file(sample_path());
  for (int i = 0; i < 300; ++i) long_stream += sample;
  write_file(inputs.file("a.mp2"), long_stream);
  write_file(inputs.file("b.mp2"), long_stream);
  struct Case {
    const char* jobs;
    int signal_number;
    bool ignore_sigint;
  };
  for (const Case& c : {Case{"2", SIGTERM, false}, Case{"2", SIGINT, false}, Case{"2", SIGINT, true},
                        Case{"1", SIGINT, true}}) {
    SCOPED_TRACE(std::string("-j ") + c.jobs + ", signal " + std::to_string(c.signal_number) +
                 (c.ignore_sigint ? ", SIGINT ignored" : ""));
    TempDir out;
    RunOptions options;
    options.ignore_sigint = c.ignore_sigint;
    const int no_input = open("/dev/null", O_RDONLY);
    const int pid = spawn_mpegdec({"-j", c.jobs, "-o", out.path(), inputs.file("a.mp2"), inputs.file("b.mp2")},
                                  options, no_input);
    close(no_input);
    const size_t decoding = std::string(c.jobs) == "2" ? 2 : 1;
    for (int i = 0; i < 10000 && entries_with(out, ".part-").size() < decoding; ++i) usleep(1000);
    ASSERT_EQ(entries_with(out, ".part-").size(), decoding) << "the decodes did not start";
    const std::vector<int> children = child_processes(pid);
    EXPECT_EQ(children.size(), decoding == 2 ? 2u : 0u);
    kill(pid, c.signal_number);
    EXPECT_EQ(wait_mpegdec_bounded(pid), 128 + c.signal_number);
    EXPECT_TRUE(out.entries().empty()) << out.entries().front();
    for (const int child : children) EXPECT_NE(kill(child, 0), 0) << "child " << child << " still runs";
  }
}

// -j reports each outcome on its own: a failing input, one whose process was killed, and a good
// one that is decoded; the exit status says that some input failed.
TEST(Interrupted, ParallelOutcomesAreReportedEachForItsInput) {
  TempDir dir;
  write_file(dir.file("bad.mp2"), std::string(3000, 'x'));
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  RunOptions options;
  options.stderr_path = dir.file("stderr");
  const int pid = spawn_mpegdec({"-j", "3", "-o", dir.file("out"), dir.file("bad.mp2"), "-", sample_path()}, options,
                                pipe_fds[0]);
  close(pipe_fds[0]);
  // The process reading standard input waits for it; the other two end.
  std::vector<int> children;
  for (int i = 0; i < 10000; ++i) {
    children = child_processes(pid);
    if (children.size() == 1 && file_exists(dir.file("out/chime.wav"))) break;
    usleep(1000);
  }
  ASSERT_EQ(children.size(), 1u);
  kill(children[0], SIGKILL);
  EXPECT_EQ(wait_mpegdec_bounded(pid), 1);
  close(pipe_fds[1]);
  const std::string err = read_file(dir.file("stderr"));
  EXPECT_NE(err.find("mpegdec: " + dir.file("bad.mp2") + ": not MPEG audio\n"), std::string::npos) << err;
  EXPECT_NE(err.find("mpegdec: standard input: decoding ended by signal 9 (Killed)\n"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  EXPECT_EQ(read_audio(dir.file("out/chime.wav")).shorts, to_16bit(decode_reference(sample_path()).samples));
}

// Standard input is decoded as it comes: an interrupt while the writer still holds it open
// removes the partial output.
TEST(Interrupted, AnInterruptedDecodeOfStandardInputLeavesNoOutput) {
  TempDir dir;
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const int pid = spawn_mpegdec({"-o", dir.file("out.wav"), "-"}, RunOptions{}, pipe_fds[0]);
  close(pipe_fds[0]);
  const std::string start = read_file(sample_path()).substr(0, 8000);
  ASSERT_EQ(write(pipe_fds[1], start.data(), start.size()), static_cast<ssize_t>(start.size()));
  ASSERT_TRUE(wait_for_entry(dir, ".part-")) << "standard input is not being decoded";
  kill(pid, SIGINT);
  EXPECT_EQ(wait_mpegdec(pid), 128 + SIGINT);
  close(pipe_fds[1]);
  EXPECT_TRUE(dir.entries().empty()) << dir.entries().front();
}

}  // namespace
}  // namespace mpegdec_test

namespace mpegdec_test {
namespace {

std::string le16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string le32(uint32_t v) { return le16(static_cast<uint16_t>(v & 0xFFFF)) + le16(static_cast<uint16_t>(v >> 16)); }

// PCM data can hold a frame sync by chance; other audio files are refused by their kind,
// except a WAV file that carries MPEG audio.
TEST(ForeignFiles, OtherAudioFilesAreRefusedButMpegInsideWavDecodes) {
  TempDir dir;
  ASSERT_EQ(run_mpegdec({"-o", dir.file("real.flac"), sample_path()}).status, 0);
  write_file(dir.file("flac.mp3"), read_file(dir.file("real.flac")));
  const RunResult flac = run_mpegdec({"-o", dir.file("out.wav"), dir.file("flac.mp3")});
  EXPECT_EQ(flac.status, 1);
  EXPECT_EQ(flac.err, "mpegdec: " + dir.file("flac.mp3") + ": not MPEG audio (FLAC data)\n");

  const std::string mpeg = read_file(sample_path());
  const std::string fmt = le16(0x0055) + le16(2) + le32(44100) + le32(16000) + le16(1) + le16(0);
  const std::string wave = "WAVE" + std::string("fmt ") + le32(static_cast<uint32_t>(fmt.size())) + fmt +
                           "data" + le32(static_cast<uint32_t>(mpeg.size())) + mpeg;
  write_file(dir.file("mpeg.wav"), "RIFF" + le32(static_cast<uint32_t>(wave.size())) + wave);
  const RunResult inside = run_mpegdec({"--raw", "--format", "f32", "-o", dir.file("inside.f32"), dir.file("mpeg.wav")});
  ASSERT_EQ(inside.status, 0) << inside.err;
  EXPECT_EQ(floats_of(read_file(dir.file("inside.f32"))), decode_reference(sample_path()).samples);
}

}  // namespace
}  // namespace mpegdec_test
