// What a refused open leaves its caller: a status with the message a program may show, and
// nothing printed by the decoder.
#include <gtest/gtest.h>

#include <string>

#include "bitstream/test_stream.h"
#include "decoder/decoder_context.h"

namespace mpegin {
namespace {

using namespace bitstream_test;

TEST(OpenStatus, ARefusedOpenSaysWhyAndPrintsNothing) {
  const HeaderBits h;
  Bytes two_frames = make_frame(h);
  append(two_frames, make_frame(h));
  Bytes reserved = make_frame(h);
  reserved[2] |= 0x0C;  // sampling-frequency index 3
  const TempFile good(two_frames), reserved_rate(reserved), junk(Bytes(4000, 0x11));
  const std::string missing = "/nonexistent-mpegin-dir/missing.mp2";
  const struct {
    const char* path;
    int opened;
    DecodeStatus code;
    std::string text;
  } cases[] = {
      {missing.c_str(), 0, DecodeStatus::kCannotOpen, "Error opening file: " + missing},
      {good.path(), 1, DecodeStatus::kOk, ""},  // a success clears the last refusal
      {reserved_rate.path(), 0, DecodeStatus::kUnknownSampleFrequency, "Unknown sample frequency!"},
      {junk.path(), 0, DecodeStatus::kNoAudio, "No MPEG audio found"},
      {nullptr, 0, DecodeStatus::kCannotOpen, "Error opening file: "},
  };
  DecoderContext context;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int opened = context.open(c.path);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(opened, c.opened);
    EXPECT_EQ(context.status().code(), c.code);
    EXPECT_EQ(context.status().text(), c.text);
    context.close();
  }
}

}  // namespace
}  // namespace mpegin
