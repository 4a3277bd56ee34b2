// The built module seen from a host: its export table, the identification record, the
// file-name test, raw output and the options stored through the dialog.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/host_test_support.h"
#include "host/loaded_module.h"

namespace mpegin::host_test {
namespace {

TEST(ModuleExports, OnlyTheTwentyOneCallsAndTheEvents) {
  const LoadedModule& m = loaded_module();
  ASSERT_NE(m.library, nullptr);
  // Nothing of the decoder or the platform layer is visible to the host.
  for (const char* hidden : {"_ZN6mpegin15decoder_contextEv", "_ZN6mpegin14DecoderContext4openEPKc",
                             "_ZN6mpegin8platform12global_allocEjm", "_ZN6mpegin13dither_randomEv"}) {
    EXPECT_EQ(dlsym(m.library, hidden), nullptr) << hidden;
  }
  std::FILE* listing = popen("nm -D --defined-only '" MPEGIN_MODULE_PATH "' 2>/dev/null", "r");
  ASSERT_NE(listing, nullptr);
  std::set<std::string> code;
  char line[512];
  while (std::fgets(line, sizeof line, listing) != nullptr) {
    char address[64], kind[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, kind, name) == 3 && (kind[0] == 'T' || kind[0] == 'W')) {
      code.insert(name);
    }
  }
  if (pclose(listing) != 0 && code.empty()) GTEST_SKIP() << "*** nm not available: export table not listed ***";
  EXPECT_EQ(code.size(), 22u);
  EXPECT_EQ(code.count("MpegInputStreamEvents"), 1u);
  EXPECT_EQ(code.count("DIALOGMsgProc"), 1u);
  EXPECT_EQ(code.count("FilterGetActualFormat"), 1u);
}

TEST(ModuleExports, QueryRecordBytes) {
  const LoadedModule& m = loaded_module();
  unsigned char record[200];
  std::memset(record, 0xCC, sizeof record);
  EXPECT_EQ(m.RadozErezEduzad(reinterpret_cast<FilterQueryRecord*>(record)), 1152);

  std::vector<unsigned char> expected(200, 0xCC);
  auto text = [&expected](int offset, const char* s) { std::memcpy(&expected[offset], s, std::strlen(s) + 1); };
  auto le16 = [&expected](int offset, unsigned v) {
    expected[offset] = v & 0xFF;
    expected[offset + 1] = (v >> 8) & 0xFF;
  };
  text(0, "MPEG 3");
  text(24, "MPEG (Layer 1,2,3) Decoder (GNU)");
  for (int offset : {104, 106, 108, 110, 116, 120, 126}) le16(offset, 0);
  for (int offset : {114, 118, 124, 128}) le16(offset, 56);
  le16(132, 0x905);
  le16(134, 0);
  text(136, "MP3");
  le16(140, 0x4000);
  le16(142, 0);
  text(144, "MP2");
  text(148, "MP1");
  for (int i = 0; i < 200; ++i) ASSERT_EQ(record[i], expected[i]) << "byte " << i;
  // Untouched: the host's 16-bit fields and the bytes after each text.
  for (int offset : {112, 113, 122, 123, 130, 131, 7, 23, 57, 103, 152, 199}) EXPECT_EQ(record[offset], 0xCC) << offset;
}

TEST(ModuleExports, FileNamesByExtension) {
  const LoadedModule& m = loaded_module();
  for (const char* yes : {"x.mp3", "a.MP3", "x.Mp1", "TRACK.MP2", "/music/song.mp3", "..mp2"}) {
    EXPECT_EQ(m.FilterUnderstandsFormat(yes), 1) << yes;
  }
  for (const char* no : {".mp3", "mp3", "", "track.mp4", "track.mp", "track.wav", "song.mpa", "song.mp3 ", "x.mp3x",
                         "x_mp3"}) {
    EXPECT_EQ(m.FilterUnderstandsFormat(no), 0) << no;
  }
  EXPECT_EQ(m.FilterUnderstandsFormat(nullptr), 0);
}

TEST(ModuleExports, SpecialDataIsNeitherOfferedNorAccepted) {
  const LoadedModule& m = loaded_module();
  EXPECT_EQ(m.FilterCanReadSpecial(1, 2), 0);
  EXPECT_EQ(m.FilterCanWriteSpecial(-1, 0x7FFFFFFF), 0);
  EXPECT_EQ(m.FilterReadSpecial(1, 2, 3, 4), 0);
  EXPECT_EQ(m.FilterWriteSpecial(0, 0, 0, 0), 0);
}

TEST(RawOutput, HostBytesReachTheFileUnchanged) {
  const LoadedModule& m = loaded_module();
  TempDir dir;
  const std::string name = dir.file("out.raw");
  write_file(name, "previous contents that must go");
  int32_t value = 0;
  MpegOutputHandle out = m.OpenFilterOutput(name.c_str(), 1, 2, 3, 0x12345, &value, 4);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(value, 0x4000);
  EXPECT_EQ(read_file(name), "");
  const char first[10] = {0, 1, 2, 3, '\xFF', '\n', '\r', 7, 8, 9};
  const char second[10] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
  EXPECT_EQ(m.WriteFilterOutput(out, first, 10), 10);
  EXPECT_EQ(m.WriteFilterOutput(out, second, 10), 10);
  EXPECT_EQ(m.WriteFilterOutput(out, second, 0), 0);
  EXPECT_EQ(m.WriteFilterOutput(out, second, -1), -1);
  m.CloseFilterOutput(out);
  EXPECT_EQ(read_file(name), std::string(first, 10) + std::string(second, 10));
}

TEST(RawOutput, NullHandlesAndUncreatableFiles) {
  const LoadedModule& m = loaded_module();
  EXPECT_EQ(m.WriteFilterOutput(nullptr, "abc", 3), 0);
  m.CloseFilterOutput(nullptr);
  int32_t value = -7;
  EXPECT_EQ(m.OpenFilterOutput("/no/such/folder/out.raw", 0, 0, 0, 0, &value, 0), nullptr);
  EXPECT_EQ(value, -7);
}

class StoredOptions : public ::testing::Test {
 protected:
  std::string profile() const { return read_file(config_.file("zazave.ini")); }
  TempDir config_;
  ScopedEnv config_home_{"XDG_CONFIG_HOME", config_.path().c_str()};
};

TEST_F(StoredOptions, DialogChoiceIsStoredAndSuggested) {
  const LoadedModule& m = loaded_module();
  int32_t rate = -1;
  int16_t bits = -1, channels = -1;
  EXPECT_EQ(m.GetSuggestedSampleType(&rate, &bits, &channels), 0);  // nothing stored yet
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(rate, 0);
  EXPECT_EQ(channels, 0);

  {
    ScopedEnv script("MPEGIN_DIALOG", "script:32-bit;=-6;OK");
    EXPECT_EQ(m.FilterGetOptions(nullptr, m.library, 0, 0, 0, 0), 0x200000u | 19400u);
  }
  EXPECT_EQ(profile(), "[MPEG Filter]\nInputFormat=2116552\n");
  EXPECT_EQ(m.GetSuggestedSampleType(&rate, &bits, &channels), 32);
  EXPECT_EQ(bits, 32);

  {
    ScopedEnv script("MPEGIN_DIALOG", "script:Cancel");
    EXPECT_EQ(m.FilterGetOptions(nullptr, m.library, 0, 0, 0, 0), 0u);
  }
  {
    ScopedEnv nobody("MPEGIN_DIALOG", "none");
    EXPECT_EQ(m.FilterGetOptions(nullptr, m.library, 0, 0, 0, 0), 0u);
  }
  EXPECT_EQ(profile(), "[MPEG Filter]\nInputFormat=2116552\n");
}

TEST_F(StoredOptions, OddStoredWidthIsSuggestedAsSixteen) {
  const LoadedModule& m = loaded_module();
  write_file(config_.file("zazave.ini"), "[MPEG Filter]\nInputFormat=" + std::to_string(24 << 16 | 20000) + "\n");
  int32_t rate = 0;
  int16_t bits = 0, channels = 0;
  EXPECT_EQ(m.GetSuggestedSampleType(&rate, &bits, &channels), 24);
  EXPECT_EQ(bits, 16);
  write_file(config_.file("zazave.ini"), "[MPEG Filter]\nInputFormat=not a number\n");
  EXPECT_EQ(m.GetSuggestedSampleType(&rate, &bits, &channels), 0);
  EXPECT_EQ(bits, 16);
}

}  // namespace
}  // namespace mpegin::host_test
