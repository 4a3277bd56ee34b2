// Hostile files through the built module, called as a host calls it: the open fails, or reads
// deliver at most one frame at the promised width until one returns 0; afterwards the module
// opens the next file. The host's buffer is exactly one frame long, so the sanitizer build
// catches any write past it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fuzz/hostile_fixtures.h"
#include "host/host_test_support.h"
#include "host/loaded_module.h"

namespace mpegin::host_test {
namespace {

using hostile::Bytes;
using hostile::Fixture;
using hostile::Outcome;

constexpr int32_t kFrameBytes32 = 9216;
constexpr int32_t kFrameBytes16 = 4608;

void write_bytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Reading {
  bool opened = false;
  int frames = 0;  // reads that delivered samples
};

// Opens `path`, applies `word` (0: no options call), reads to the end and closes.
Reading read_through(const std::string& path, uint32_t word, uint64_t max_reads) {
  const LoadedModule& m = loaded_module();
  Reading r;
  int32_t rate = 0, value = 0;
  int16_t bits = 0, channels = 0;
  MpegInputHandle handle = m.OpenFilterInput(path.c_str(), &rate, &bits, &channels, 0, &value);
  if (handle == nullptr) return r;
  r.opened = true;
  EXPECT_TRUE(channels == 1 || channels == 2);
  EXPECT_TRUE(rate >= 16000 && rate <= 48000) << rate;
  int16_t width = bits;
  if (word != 0) m.FilterSetOptions2(handle, word, &rate, &channels, &width);
  EXPECT_TRUE(width == 16 || width == 32);
  EXPECT_GE(m.FilterGetFileSize(handle), 0);
  std::vector<char> text(1024, '\x7f');
  m.FilterOptionsString(handle, text.data());
  EXPECT_NE(std::memchr(text.data(), '\0', text.size()), nullptr);

  std::vector<char> buffer(kFrameBytes32);
  uint64_t reads = 0;
  for (; reads < max_reads; ++reads) {
    const int32_t n = m.ReadFilterInput(handle, buffer.data(), 0);
    EXPECT_GE(n, 0);
    EXPECT_LE(n, width == 16 ? kFrameBytes16 : kFrameBytes32);
    if (n <= 0) break;
    ++r.frames;
  }
  EXPECT_LT(reads, max_reads) << "reads never reached the end";
  EXPECT_EQ(m.ReadFilterInput(handle, buffer.data(), 0), 0) << "a read after the end delivered samples";
  m.CloseFilterInput(handle);
  return r;
}

// Whatever came before, the module opens and reads a clean file.
void expect_module_still_works(const TempDir& dir) {
  const std::string clean = dir.file("clean.mp2");
  write_silent_layer2(clean, 2);
  const Reading r = read_through(clean, 0, 10);
  EXPECT_TRUE(r.opened) << "the module refuses clean files after a hostile one";
  EXPECT_EQ(r.frames, 2);
}

class HostileModuleFile : public ::testing::TestWithParam<Fixture> {
 protected:
  TempDir dir_;
  ScopedEnv config_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

TEST_P(HostileModuleFile, EndsInAClearResultAtEachWidth) {
  const Fixture& fixture = GetParam();
  const std::string path = dir_.file("hostile.mp3");
  write_bytes(path, fixture.bytes);
  // 32-bit floats at +200 dB, 16 bits clipped, 16 bits dithered.
  for (uint32_t word : {0x20FFFFu, 0x104E20u, 0x1100000u}) {
    SCOPED_TRACE(word);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const Reading r = read_through(path, word, fixture.bytes.size() / 4 + 2);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // the module prints nothing,
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");  // refused or not
    if (fixture.outcome == Outcome::kRefused) {
      EXPECT_FALSE(r.opened);
    } else if (fixture.outcome == Outcome::kDecodes) {
      EXPECT_GT(r.frames, 0);
    }
  }
  expect_module_still_works(dir_);
}

INSTANTIATE_TEST_SUITE_P(Generated, HostileModuleFile, ::testing::ValuesIn(hostile::fixtures()),
                         hostile::FixtureName());

// Names that are no readable MPEG file. None may block or be read forever: the open returns
// null at once and the module stays usable.
class HostileModulePlace : public ::testing::TestWithParam<const char*> {
 protected:
  TempDir dir_;
  ScopedEnv config_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

TEST_P(HostileModulePlace, OpenReturnsNull) {
  const std::string which = GetParam();
  std::string path;
  if (which == "missing") {
    path = dir_.file("missing.mp3");
  } else if (which == "directory") {
    path = dir_.file("folder.mp3");
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  } else if (which == "no_permission") {
    if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not bind (see process_memory)";
    path = dir_.file("locked.mp3");
    write_silent_layer2(path, 3);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
  } else if (which == "process_memory") {
    path = "/proc/self/mem";  // opens for everyone, root included; every read fails
  } else if (which == "endless_device") {
    path = "/dev/zero";  // no end: a search for a header would never finish
  } else if (which == "fifo") {
    path = dir_.file("pipe.mp3");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  }
  // A watchdog for the FIFO: should the open block, a writer turns up after a while, so that
  // the test ends (and fails) instead of hanging.
  std::promise<void> finished;
  std::future<void> done = finished.get_future();
  std::future<bool> watchdog;
  if (which == "fifo") {
    watchdog = std::async(std::launch::async, [&done, path] {
      if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return false;
      while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
          close(fd);
          break;
        }
      }
      return true;
    });
  }
  const LoadedModule& m = loaded_module();
  int32_t rate = 0, value = 0;
  int16_t bits = 0, channels = 0;
  ::testing::internal::CaptureStderr();
  MpegInputHandle handle = m.OpenFilterInput(path.c_str(), &rate, &bits, &channels, 0, &value);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  finished.set_value();
  if (watchdog.valid()) {
    EXPECT_FALSE(watchdog.get()) << "the open blocked until a writer came";
  }
  EXPECT_EQ(handle, nullptr);
  if (handle != nullptr) m.CloseFilterInput(handle);
  chmod(dir_.file("locked.mp3").c_str(), 0600);
  expect_module_still_works(dir_);
}

INSTANTIATE_TEST_SUITE_P(Places, HostileModulePlace,
                         ::testing::Values("missing", "directory", "no_permission", "process_memory", "endless_device",
                                           "fifo"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// Whatever sits at the profile's place, reading the stored options neither blocks, nor reads
// without bound, nor takes junk for a setting: the defaults apply.
class HostileProfile : public ::testing::TestWithParam<const char*> {
 protected:
  TempDir dir_;
  ScopedEnv config_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

TEST_P(HostileProfile, StoredOptionsFallBackToTheDefaults) {
  const std::string which = GetParam();
  const std::string profile = dir_.file("zazave.ini");
  if (which == "fifo") {
    ASSERT_EQ(mkfifo(profile.c_str(), 0600), 0);
  } else if (which == "directory") {
    ASSERT_EQ(mkdir(profile.c_str(), 0700), 0);
  } else if (which == "oversized") {
    // A real setting at the start, then megabytes of comment lines.
    std::string text = "[MPEG Filter]\nInputFormat=2117152\n";
    text.resize(3u << 20, ';');
    write_file(profile, text);
  } else if (which == "binary") {
    const Bytes junk = hostile::detail::random_bytes(4096, 3);
    write_file(profile, "[MPEG Filter]\nInputFormat=" + std::string(junk.begin(), junk.end()));
  }
  const LoadedModule& m = loaded_module();
  int32_t rate = -1;
  int16_t bits = -1, channels = -1;
  const int32_t stored = m.GetSuggestedSampleType(&rate, &bits, &channels);
  EXPECT_EQ(bits, 16);
  if (which != "binary") {
    EXPECT_EQ(stored, 0);
  }
  expect_module_still_works(dir_);
}

INSTANTIATE_TEST_SUITE_P(Places, HostileProfile, ::testing::Values("fifo", "directory", "oversized", "binary"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// A frame that cannot be decoded is concealed in its place, so that a host that reads until 0
// gets every frame.
TEST(HostileModuleStream, AFrameFailingItsCheckDoesNotEndTheStream) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  hostile::HeaderBits h;
  h.protected_frame = true;
  Bytes stream;
  for (int frame = 0; frame < 6; ++frame) {
    test_support::FrameBuilder builder(h);
    // Silence: 27 subbands of two channels allocate nothing (4, 3 and 2-bit fields, all
    // covered by the check word).
    for (int field = 0; field < 11; ++field) builder.body().put_checked(0, 16);
    Bytes bytes = builder.finish();
    if (frame == 2 || frame == 3) bytes[5] ^= 0x01;  // two damaged frames in the middle
    bitstream_test::append(stream, bytes);
  }
  const std::string path = dir.file("damaged.mp2");
  write_bytes(path, stream);
  for (uint32_t word : {0x204E20u, 0x104E20u, 0x1104E20u}) {
    const Reading r = read_through(path, word, 20);
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.frames, 6) << "word " << word;
  }
}

// Layer III frames whose main data began before the start of the file (a stream cut out of a
// longer one) are concealed; the host gets them and the frames after them.
TEST(HostileModuleStream, LayerThreeMainDataBeforeTheFileStartDoesNotEndTheStream) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  hostile::HeaderBits h;
  h.layer = 3;
  h.bitrate_index = 9;  // 128 kbit/s: 417 bytes
  Bytes stream;
  for (int frame = 0; frame < 5; ++frame) {
    test_support::FrameBuilder builder(h);
    // main_data_begin 400 in the first frame, 0 after; all granules silent.
    builder.body().put(frame == 0 ? 400 : 0, 9).zeros(3 + 8 + 4 * 59);
    bitstream_test::append(stream, builder.finish());
  }
  const std::string path = dir.file("cut.mp3");
  write_bytes(path, stream);
  const Reading r = read_through(path, 0x204E20u, 20);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(r.frames, 5);
}

// The largest inputs: a hundred megabytes of random bytes, and of nothing (a sparse file) with
// a few frames at its end; both generated here and removed afterwards.
TEST(HostileModuleStream, HundredMegabyteFilesEnd) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  constexpr size_t kSize = 100u << 20;
  const std::string random_path = dir.file("random.mp3");
  {
    std::ofstream out(random_path, std::ios::binary);
    std::mt19937_64 rng(2026);
    std::vector<uint64_t> block(1 << 16);
    for (size_t written = 0; written < kSize; written += block.size() * 8) {
      for (uint64_t& v : block) v = rng();
      out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
    }
  }
  read_through(random_path, 0x204E20u, kSize / 4 + 2);
  std::remove(random_path.c_str());

  const std::string sparse_path = dir.file("sparse.mp3");
  {
    const std::string frames_path = dir.file("frames.mp2");
    write_silent_layer2(frames_path, 3);
    const std::string frames = read_file(frames_path);
    const int fd = open(sparse_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, frames.data(), frames.size(), static_cast<off_t>(kSize)),
              static_cast<ssize_t>(frames.size()));
    close(fd);
  }
  const Reading r = read_through(sparse_path, 0x204E20u, 10);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(r.frames, 3);
  std::remove(sparse_path.c_str());
}

// OptionWords at the ends of every field on a clean stream: reads stay within one frame at the
// width that was reported.
TEST(HostileModuleStream, OptionWordsAtTheirExtremes) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  const std::string path = dir.file("clean.mp2");
  write_silent_layer2(path, 3);
  for (uint32_t scale : {0u, 1u, 40000u, 65535u})
    for (uint32_t width : {0u, 8u, 16u, 24u, 32u, 255u})
      for (uint32_t high : {0u, 0x1000000u, 0xFF000000u}) {
        const uint32_t word = scale | width << 16 | high;
        if (word == 0) continue;
        const Reading r = read_through(path, word, 10);
        EXPECT_EQ(r.frames, 3) << "word " << word;
      }
}

}  // namespace
}  // namespace mpegin::host_test
