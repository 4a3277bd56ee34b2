// --info and --info --json against the decoder's own description of the stream.
#include <gtest/gtest.h>

#include <cstdio>

#include "decoder/decoder_context.h"
#include "mpegdec_harness.h"
#include "support/frame_builder.h"

namespace mpegdec_test {
namespace {

struct Described {
  mpegin::StreamInfo info{};
  uint64_t frames = 0;
};

Described describe(const std::string& path) {
  Described d;
  mpegin::DecoderContext context;
  EXPECT_EQ(context.open(path.c_str()), 1);
  EXPECT_EQ(context.describe(d.info), 1);
  d.frames = context.frame_count();
  context.close();
  return d;
}

TEST(StreamInfo, TextNamesEveryFieldOfTheStream) {
  const Described expected = describe(sample_path());
  const RunResult run = run_mpegdec({"--info", sample_path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string& out = run.out;
  const std::string headline = std::string(expected.info.version_text) + " Layer " +
                               std::to_string(expected.info.layer) + " (" + expected.info.bitrate_text + ")";
  EXPECT_NE(out.find(headline), std::string::npos) << out;
  EXPECT_NE(out.find("sample rate:  " + std::to_string(expected.info.sample_rate) + " Hz"), std::string::npos);
  EXPECT_NE(out.find("channels:     " + std::to_string(expected.info.channel_count)), std::string::npos);
  EXPECT_NE(out.find("frames:       " + std::to_string(expected.frames)), std::string::npos);
  for (const char* label : {"version:", "layer:", "mode:", "bit rate:", "protection:", "copyright:",
                            "original:", "duration:"}) {
    EXPECT_NE(out.find(label), std::string::npos) << label;
  }
}

TEST(StreamInfo, JsonCarriesTheDecodersValues) {
  const Described expected = describe(sample_path());
  const RunResult run = run_mpegdec({"--info", "--json", sample_path()});
  ASSERT_EQ(run.status, 0) << run.err;
  const mpegin::StreamInfo& info = expected.info;
  EXPECT_EQ(evaluate_json(run.out,
                          "d['sample_rate'], d['channels'], d['layer'], d['version'], d['mode'], "
                          "d['bitrate_index'], d['frame_bytes'], d['frames']"),
            "(" + std::to_string(info.sample_rate) + ", " + std::to_string(info.channel_count) + ", " +
                std::to_string(info.layer) + ", " + std::to_string(info.version) + ", " +
                std::to_string(info.mode) + ", " + std::to_string(info.bitrate_index) + ", " +
                std::to_string(info.frame_bytes) + ", " + std::to_string(expected.frames) + ")");
  EXPECT_EQ(evaluate_json(run.out, "d['version_text'], d['bitrate_text']"),
            "('" + std::string(info.version_text) + "', '" + info.bitrate_text + "')");
  const auto py_bool = [](int32_t flag) { return flag ? std::string("True") : std::string("False"); };
  EXPECT_EQ(evaluate_json(run.out, "d['protected'], d['copyright'], d['original']"),
            "(" + py_bool(info.protected_stream) + ", " + py_bool(info.copyright) + ", " +
                py_bool(info.original) + ")");
  EXPECT_EQ(evaluate_json(run.out, "abs(d['duration_ms'] - " + std::to_string(info.duration_ms) + ") < 0.01"),
            "True");
  EXPECT_EQ(evaluate_json(run.out, "d['description'].split('\\r\\n')[0]"),
            std::string(info.version_text) + " Layer " + std::to_string(info.layer));
}

// An information frame names a frame count that the file does not hold (a file joined to
// another, or cut short, keeps the first file's count): the frames are counted all the same,
// and mpegdec reports what the module reports.
TEST(StreamInfo, FramesAreCountedWhateverTheInformationFrameSays) {
  using namespace mpegin::test_support;
  using namespace mpegin::bitstream_test;
  TempDir dir;
  HeaderBits h;
  h.layer = 3;
  const Bytes info = info_frame(h, InfoTag::kXing, 5000);
  const std::string sample = read_file(sample_path());
  const std::string path = dir.file("vbr.mp3");
  write_file(path, std::string(info.begin(), info.end()) + sample);
  const Described expected = describe(path);
  ASSERT_EQ(expected.frames, describe(sample_path()).frames);
  const RunResult run = run_mpegdec({"--info", "--json", path});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(evaluate_json(run.out, "d['frames']"), std::to_string(expected.frames));
  EXPECT_EQ(evaluate_json(run.out, "abs(d['duration_ms'] - " + std::to_string(expected.info.duration_ms) +
                                       ") < 0.01"),
            "True");
}

TEST(StreamInfo, SeveralInputsGiveAJsonArrayAndFailuresStillReport) {
  TempDir dir;
  const RunResult run = run_mpegdec({"--json", sample_path(), dir.file("missing.mp3"), sample_path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(evaluate_json(run.out, "len(d), d[1]['file'] == d[0]['file']"), "(2, True)");
  EXPECT_NE(run.err.find("missing.mp3: cannot open"), std::string::npos) << run.err;
}

// A file name is any bytes; the JSON stays UTF-8, with U+FFFD for each byte that is not.
TEST(StreamInfo, JsonIsUtf8WhateverTheFileName) {
  TempDir dir;
  const std::string name = dir.file("a\xFF" "b\xC3\xA9\xC0\xAF\xE2\x82.\xF0\x9F\x8E\xB5");
  write_file(name, read_file(sample_path()));
  const RunResult run = run_mpegdec({"--info", "--json", name});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"" + dir.file("a\\ufffdb\xC3\xA9\\ufffd\\ufffd\\ufffd\\ufffd.\xF0\x9F\x8E\xB5") + "\""),
            std::string::npos)
      << run.out;
}

TEST(StreamInfo, StandardInputIsDescribedToo) {
  RunOptions options;
  options.stdin_data = read_file(sample_path());
  const RunResult run = run_mpegdec({"--info", "-"}, options);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("standard input:\n", 0), 0u) << run.out;
}

TEST(StreamInfo, OtherLayersAreDescribedAsTheDecoderSeesThem) {
  MPEGDEC_CONFORMANCE_STREAM(layer1, "l1-fl1");
  MPEGDEC_CONFORMANCE_STREAM(lsf3, "M2L3_compl24");
  for (const std::string& stream : {layer1, lsf3}) {
    SCOPED_TRACE(stream);
    const Described expected = describe(stream);
    const RunResult run = run_mpegdec({"-i", "--json", stream});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(evaluate_json(run.out, "d['layer'], d['version'], d['sample_rate'], d['channels']"),
              "(" + std::to_string(expected.info.layer) + ", " + std::to_string(expected.info.version) + ", " +
                  std::to_string(expected.info.sample_rate) + ", " +
                  std::to_string(expected.info.channel_count) + ")");
  }
}

// Joined files: a change of channel count is described with its time and decoded whole; a
// change of rate ends the decode there with one line and status 1, the output kept.
TEST(StreamChanges, ChannelChangeIsDescribedAndRateChangeEndsTheDecode) {
  MPEGDEC_CONFORMANCE_STREAM(stereo, "l2-fl10");   // 32 kHz, 192 kbit/s
  MPEGDEC_CONFORMANCE_STREAM(mono, "l2-fl13");     // 32 kHz, single channel, 32 kbit/s
  MPEGDEC_CONFORMANCE_STREAM(other_rate, "l1-fl2");  // 44.1 kHz
  TempDir dir;
  const std::string joined = dir.file("joined.mp2");
  write_file(joined, read_file(stereo) + read_file(mono));
  const Described first = describe(stereo);
  const Described second = describe(mono);
  RunResult run = run_mpegdec({"--info", "--json", joined});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(evaluate_json(run.out, "d['frames'], d['channels'], d['vbr']"),
            "(" + std::to_string(first.frames + second.frames) + ", 2, True)");
  const double change_ms = first.frames * 1152 * 1000.0 / 32000;
  EXPECT_EQ(evaluate_json(run.out, "d['format_change']['channels'], abs(d['format_change']['at_ms'] - " +
                                       std::to_string(change_ms) + ") < 0.01, d['rate_change']"),
            "(1, True, None)");
  run = run_mpegdec({"-v", "-o", dir.file("joined.wav"), joined});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("mpegdec: " + joined + ": stream changes to 1 channel at 0:01.764\n"), std::string::npos)
      << run.err;

  const std::string rate_joined = dir.file("rate.mp2");
  write_file(rate_joined, read_file(stereo) + read_file(other_rate));
  run = run_mpegdec({"--raw", "--format", "f32", "-o", dir.file("out.f32"), rate_joined});
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(first.frames, 49u);  // 1764 ms
  EXPECT_EQ(run.err, "mpegdec: " + rate_joined + ": stream changes to 44100 Hz at 0:01.764; decoded up to there\n");
  EXPECT_EQ(floats_of(read_file(dir.file("out.f32"))), decode_reference(stereo).samples);
}

}  // namespace
}  // namespace mpegdec_test
