// Hostile files through the decoder context: every one ends in a clear result (the open fails,
// or frames come out until a decode returns 0), never more than one frame per call, never a
// NaN or an infinity, and the context is fit for the next file afterwards. Out-of-bounds
// accesses and leaks are caught by the sanitizer build.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fuzz/hostile_fixtures.h"
#include "decoder/decoder_context.h"
#include "decoder/stream_info.h"

namespace mpegin {
namespace {

using bitstream_test::TempFile;
using hostile::Fixture;
using hostile::Outcome;

struct Decoded {
  bool opened = false;
  uint64_t calls = 0;
  uint64_t frames = 0;  // calls that delivered samples
};

// Decodes the file to its end (or gives up after `limit` calls, which fails the test).
Decoded decode_to_end(DecoderContext& context, const char* path, uint64_t limit) {
  Decoded result;
  result.opened = context.open(path) == 1;
  EXPECT_EQ(context.is_open(), result.opened);
  if (!result.opened) return result;

  StreamInfo info{};
  EXPECT_EQ(context.describe(info), 1);
  EXPECT_TRUE(info.channel_count == 1 || info.channel_count == 2);
  EXPECT_GE(info.layer, 1);
  EXPECT_LE(info.layer, 3);
  EXPECT_GE(info.sample_rate, 16000);
  EXPECT_LE(info.sample_rate, 48000);
  EXPECT_FALSE(info.duration_ms < 0.0 || std::isnan(info.duration_ms));

  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / 4);
  while (!context.end_of_stream() && result.calls < limit) {
    const uint32_t bytes = context.decode_next(frame.data());
    ++result.calls;
    EXPECT_LE(bytes, DecoderContext::kMaxFrameOutputBytes);
    EXPECT_EQ(bytes % 4, 0u);
    if (bytes > 0) ++result.frames;
    for (uint32_t i = 0; i < bytes / 4 && i < frame.size(); ++i)
      if (!std::isfinite(frame[i])) {
        ADD_FAILURE() << "sample " << i << " of call " << result.calls << " is " << frame[i];
        break;
      }
  }
  EXPECT_LT(result.calls, limit) << "the stream never ended";
  EXPECT_EQ(context.decode_next(frame.data()), 0u) << "a decode after the end delivered samples";
  context.close();
  EXPECT_FALSE(context.is_open());
  return result;
}

// After whatever the hostile file did, the same context decodes a clean stream.
void expect_context_still_works(DecoderContext& context) {
  const TempFile clean(hostile::detail::silent_layer2(3));
  ASSERT_EQ(context.open(clean.path()), 1);
  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / 4);
  EXPECT_EQ(context.decode_next(frame.data()), 1152u * 2 * 4);
  context.close();
}

class HostileFile : public ::testing::TestWithParam<Fixture> {};

TEST_P(HostileFile, EndsInAClearResult) {
  const Fixture& fixture = GetParam();
  const TempFile file(fixture.bytes);
  DecoderContext context;
  // Every decode consumes at least a 4-byte header.
  const Decoded decoded = decode_to_end(context, file.path(), fixture.bytes.size() / 4 + 2);
  switch (fixture.outcome) {
    case Outcome::kRefused:
      EXPECT_FALSE(decoded.opened);
      break;
    case Outcome::kDecodes:
      EXPECT_TRUE(decoded.opened);
      EXPECT_GT(decoded.frames, 0u);
      break;
    case Outcome::kEnds:
      break;
  }
  expect_context_still_works(context);
}

INSTANTIATE_TEST_SUITE_P(Generated, HostileFile, ::testing::ValuesIn(hostile::fixtures()), hostile::FixtureName());

// Names that are no readable MPEG file: the open fails and leaves the context closed.
class UnreadablePlace : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("mpegin_hostile_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(folder_ / "locked.mp3", std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(folder_, ignored);
  }
  std::filesystem::path folder_;
};

TEST_P(UnreadablePlace, OpenFails) {
  const std::string which = GetParam();
  std::string path;
  if (which == "missing") {
    path = (folder_ / "missing.mp3").string();
  } else if (which == "directory") {
    std::filesystem::create_directories(folder_ / "folder.mp3");
    path = (folder_ / "folder.mp3").string();
  } else if (which == "no_permission") {
    // Only meaningful for a user whom the permissions bind; root reads the file anyway.
    if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not bind (see process_memory)";
    path = (folder_ / "locked.mp3").string();
    const TempFile source(hostile::detail::silent_layer2(3));
    std::filesystem::copy_file(source.path(), path);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
  } else if (which == "process_memory") {
    // Opens for everyone, root included, and every read fails (nothing is mapped at 0).
    path = "/proc/self/mem";
  } else if (which == "endless_device") {
    path = "/dev/zero";  // no end: a search for a header must not go on for ever
  } else if (which == "empty_name") {
    path = "";
  }
  DecoderContext context;
  EXPECT_EQ(context.open(path.c_str()), 0);
  EXPECT_FALSE(context.is_open());
  StreamInfo info{};
  EXPECT_EQ(context.describe(info), 0);
  EXPECT_EQ(context.decode_next(nullptr), 0u);
  expect_context_still_works(context);
}

INSTANTIATE_TEST_SUITE_P(Places, UnreadablePlace,
                         ::testing::Values("missing", "directory", "no_permission", "process_memory", "endless_device",
                                           "empty_name"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST(HostileFileNames, NullNameIsRefused) {
  DecoderContext context;
  EXPECT_EQ(context.open(nullptr), 0);
  EXPECT_FALSE(context.is_open());
}

}  // namespace
}  // namespace mpegin
