// Standard input is decoded as a stream through the library, with no file in between: what it
// delivers and reports is what the same bytes give from a file through the module.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <regex>

#include "mpegdec_harness.h"
#include "support/encoded_files.h"

namespace mpegdec_test {
namespace {

// Standard error with the input's and the output's names made alike and the summary's timing cut.
std::string alike(std::string err, const std::string& input, const std::string& output) {
  for (const std::string& name : {input, output}) {
    for (size_t at; (at = err.find(name)) != std::string::npos;)
      err.replace(at, name.size(), name == output ? "OUTPUT" : "INPUT");
  }
  return std::regex_replace(err, std::regex(" in [0-9.]+ s \\([0-9]+x\\)"), "");
}

struct Case {
  const char* what;
  std::string input;
  std::vector<std::string> args;
};

// Streams, formats and options, damaged and changing streams, and refusals: the same bytes,
// the same messages (-v) and the same exit status from standard input as from the file.
TEST(StandardInput, DeliversAndReportsWhatTheFileGives) {
  TempDir dir;
  const std::string sample = sample_path();
  write_file(dir.file("empty.mp3"), "");
  write_file(dir.file("noise.mp3"), std::string(5000, 'x'));
  write_file(dir.file("reserved.mp2"), std::string("\xFF\xFD\x9C\x00", 4) + std::string(413, '\0'));
  ASSERT_EQ(run_mpegdec({"-o", dir.file("pcm.wav"), sample}).status, 0);
  std::vector<Case> cases = {
      {"16-bit raw", sample, {"--raw"}},
      {"floats, gain", sample, {"--raw", "--format", "f32", "--gain", "-6.5"}},
      {"16-bit WAV, clipped", sample, {"-t", "wav", "--gain", "12"}},
      {"FLAC", sample, {"-t", "flac"}},
      {"not MPEG", dir.file("noise.mp3"), {"--raw"}},
      {"empty", dir.file("empty.mp3"), {"--raw"}},
      {"other audio", dir.file("pcm.wav"), {"--raw"}},
      {"reserved frequency", dir.file("reserved.mp2"), {"--raw"}},
  };
  const std::string l3 = conformance_stream("l3-compl");
  const std::string lsf = conformance_stream("M2L3_compl24");
  const std::string stereo = conformance_stream("l2-fl10");
  const std::string mono = conformance_stream("l2-fl13");
  const std::string other_rate = conformance_stream("l1-fl2");
  if (!l3.empty() && !lsf.empty() && !stereo.empty() && !mono.empty() && !other_rate.empty()) {
    write_file(dir.file("damaged.mp2"), with_fourth_frame_damaged(read_file(stereo)));
    write_file(dir.file("mono.mp2"), read_file(stereo) + read_file(mono));
    write_file(dir.file("rate.mp2"), read_file(stereo) + read_file(other_rate));
    cases.insert(cases.end(), {{"Layer III", l3, {"--raw", "--format", "f32"}},
                               {"LSF", lsf, {"--raw", "--gain", "3"}},
                               {"damaged frame", dir.file("damaged.mp2"), {"--raw", "--format", "f32"}},
                               {"channel change", dir.file("mono.mp2"), {"--raw"}},
                               {"rate change", dir.file("rate.mp2"), {"--raw", "--format", "f32"}}});
  } else if (mpegin::conformance::required()) {
    FAIL() << "conformance streams missing";
  }
  if (mpegin::test_support::have_tool("lame")) {
    ASSERT_TRUE(mpegin::test_support::write_test_wav(dir.file("in.wav"), 44100, 2, 44100));
    ASSERT_TRUE(mpegin::test_support::lame_encode(dir.file("in.wav"), dir.file("gapless.mp3"), "-V 4"));
    cases.insert(cases.end(), {{"gapless", dir.file("gapless.mp3"), {"--raw"}},
                               {"whole frames", dir.file("gapless.mp3"), {"--raw", "--no-gapless"}}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-v", "-y", "-o"});
    unlink(dir.file("file.out").c_str());
    unlink(dir.file("stdin.out").c_str());
    std::vector<std::string> from_file = args, from_stdin = args;
    from_file.insert(from_file.end(), {dir.file("file.out"), c.input});
    from_file.insert(from_file.begin(), {"-T", "1"});   // through the module
    from_stdin.insert(from_stdin.end(), {dir.file("stdin.out"), "-"});
    RunOptions options;
    options.stdin_data = read_file(c.input);
    options.env = {{"TMPDIR", dir.file("missing")}};   // nothing is stored on the way
    const RunResult file = run_mpegdec(from_file);
    const RunResult piped = run_mpegdec(from_stdin, options);
    EXPECT_EQ(piped.status, file.status);
    EXPECT_EQ(alike(piped.err, "standard input", dir.file("stdin.out")), alike(file.err, c.input, dir.file("file.out")));
    EXPECT_EQ(read_file(dir.file("stdin.out")), read_file(dir.file("file.out")));
  }
}

// Dither noise starts where an open of the module starts it, at the tick count modulo 50000:
// both outputs are the written-out dithered conversion of the decoder's samples from a seed
// in that range.
TEST(StandardInput, DitheredOutputIsTheModulesConversion) {
  const Reference reference = decode_reference(sample_path());
  RunOptions options;
  options.stdin_data = read_file(sample_path());
  for (const std::string& input : {sample_path(), std::string("-")}) {
    SCOPED_TRACE(input);
    const RunResult run = run_mpegdec({"--dither", "--gain", "-6", "-o", "-", input}, options);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int16_t> out = shorts_of(run.out);
    ASSERT_EQ(out.size(), reference.samples.size());
    const std::vector<int16_t> expected = dithered_reference(reference, 19400, out);   // -6 dB
    ASSERT_FALSE(expected.empty()) << "no seed of the module gives these samples";
    EXPECT_EQ(expected, out);
  }
}

// As `(cat song.mp2; sleep 10) | mpegdec -o - -`: samples come while the writer still holds
// standard input open.
TEST(StandardInput, SamplesComeBeforeTheInputEnds) {
  int in[2], out[2];   // not inherited but as standard input and output
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  RunOptions options;
  options.stdout_fd = out[1];
  const int pid = spawn_mpegdec({"-o", "-", "-"}, options, in[0]);
  close(in[0]);
  close(out[1]);
  // A part of the stream, less than a pipe holds, so that the write never waits for mpegdec.
  const std::string start = read_file(sample_path()).substr(0, 16384);
  ASSERT_EQ(write(in[1], start.data(), start.size()), static_cast<ssize_t>(start.size()));
  pollfd ready{out[0], POLLIN, 0};
  EXPECT_EQ(poll(&ready, 1, 3000), 1) << "no sample within 3 s of the first 16 KiB";
  close(in[1]);
  std::string samples;
  char block[1 << 16];
  for (ssize_t n; (n = read(out[0], block, sizeof block)) > 0;) samples.append(block, static_cast<size_t>(n));
  close(out[0]);
  EXPECT_EQ(wait_mpegdec_bounded(pid), 0);
  const std::vector<int16_t> all = to_16bit(decode_reference(sample_path()).samples);
  const std::vector<int16_t> got = shorts_of(samples);
  ASSERT_FALSE(got.empty());
  EXPECT_LE(got.size(), all.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << "not the start of the stream";
}

// A file given as standard input while standard output appends to it would be read on into the
// samples written: refused before a byte is read.
TEST(StandardInput, AFileThatIsAlsoStandardOutputIsRefused) {
  TempDir dir;
  const std::string bytes = read_file(sample_path());
  write_file(dir.file("a.mp2"), bytes);
  const int in = open(dir.file("a.mp2").c_str(), O_RDONLY | O_CLOEXEC);
  RunOptions options;
  options.stdout_fd = open(dir.file("a.mp2").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  options.stderr_path = dir.file("err");
  const int pid = spawn_mpegdec({"-o", "-", "-"}, options, in);
  close(in);
  close(options.stdout_fd);
  EXPECT_EQ(wait_mpegdec_bounded(pid), 1);
  EXPECT_EQ(read_file(dir.file("err")), "mpegdec: standard output: is the input file; not replaced\n");
  EXPECT_EQ(read_file(dir.file("a.mp2")), bytes);
}

}  // namespace
}  // namespace mpegdec_test
