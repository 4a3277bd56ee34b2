// Gapless length through the module: the decoded size a host is told and the bytes its reads
// deliver, and the whole-frames bit of the OptionWord.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_test_support.h"
#include "host/loaded_module.h"
#include "host/option_word.h"
#include "support/encoded_files.h"

namespace mpegin::host_test {
namespace {

// Bytes delivered by reads until one returns 0.
int64_t read_all(MpegInputHandle handle) {
  std::vector<uint8_t> buffer(16384);
  int64_t total = 0;
  for (int32_t n; (n = loaded_module().ReadFilterInput(handle, buffer.data(), 0)) > 0;) total += n;
  return total;
}

TEST(GaplessModule, DecodedSizeIsWhatTheReadsDeliver) {
  if (!test_support::have_tool("lame")) GTEST_SKIP() << "SKIPPED LOUDLY: lame is not installed";
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  const std::string wav = dir.file("source.wav");
  const std::string mp3 = dir.file("source.mp3");
  constexpr int64_t kSamples = 44100 + 321;
  ASSERT_TRUE(test_support::write_test_wav(wav, 44100, 2, kSamples));
  ASSERT_TRUE(test_support::lame_encode(wav, mp3, "-V 4"));
  const LoadedModule& m = loaded_module();
  struct Case {
    uint32_t word;
    int64_t bytes;  // 0: whole frames, a multiple of 1152 x 2 x sample bytes
  } cases[] = {{0x204E20u, kSamples * 2 * 4},
               {0x104E20u, kSamples * 2 * 2},
               {kWholeFramesBit, 0},  // the stored options (16 bits), whole frames
               {0x204E20u | kWholeFramesBit, 0}};
  for (const Case& c : cases) {
    int32_t rate = 0, value = 0;
    int16_t bits = 0, channels = 0;
    MpegInputHandle handle = m.OpenFilterInput(mp3.c_str(), &rate, &bits, &channels, 0, &value);
    ASSERT_NE(handle, nullptr);
    m.FilterSetOptions2(handle, c.word, &rate, &channels, &bits);
    const int64_t size = m.FilterGetFileSize(handle);
    const int64_t delivered = read_all(handle);
    m.CloseFilterInput(handle);
    EXPECT_EQ(size, delivered) << std::hex << c.word;
    if (c.bytes != 0) {
      EXPECT_EQ(delivered, c.bytes) << std::hex << c.word;
    } else {
      EXPECT_EQ(delivered % (1152 * 2 * (bits / 8)), 0) << std::hex << c.word;
      EXPECT_GT(delivered, kSamples * 2 * (bits / 8)) << std::hex << c.word;
    }
  }
}

}  // namespace
}  // namespace mpegin::host_test
