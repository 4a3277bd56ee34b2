// The POSIX platform layer: profile files with the Windows semantics, memory blocks, the
// legacy file calls, export lookup by ordinal and formatting.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "host/host_test_support.h"
#include "host/mpeginput.h"
#include "platform/platform.h"
#include "platform/posix/global_memory.h"
#include "platform/posix/private_profile.h"

namespace mpegin {
namespace {

using host_test::read_file;
using host_test::write_file;

class ProfileFile : public ::testing::Test {
 protected:
  std::string path() const { return config_.file("test.ini"); }
  uint32_t read(const char* section, const char* key, int32_t fallback = 77) {
    return platform::profile_get_int(section, key, fallback, "test.ini");
  }

  host_test::TempDir config_;
  host_test::ScopedEnv config_home_{"XDG_CONFIG_HOME", config_.path().c_str()};
};

TEST_F(ProfileFile, LivesInTheConfigFolder) {
  EXPECT_EQ(platform::posix::profile_path("zazave.ini"), config_.file("zazave.ini"));
  EXPECT_EQ(platform::posix::profile_path("/tmp/x.ini"), "/tmp/x.ini");
  host_test::ScopedEnv no_xdg("XDG_CONFIG_HOME", nullptr);
  host_test::ScopedEnv home("HOME", config_.path().c_str());
  EXPECT_EQ(platform::posix::profile_path("zazave.ini"), config_.path() + "/.config/zazave.ini");
  // The folder is made on the first write.
  ASSERT_TRUE(platform::profile_write_string("S", "K", "5", "zazave.ini"));
  EXPECT_EQ(read_file(config_.path() + "/.config/zazave.ini"), "[S]\nK=5\n");
}

TEST_F(ProfileFile, ReadsLeadingDigitsOrZeroAndDefaultWhenAbsent) {
  EXPECT_EQ(read("MPEG Filter", "InputFormat"), 77u);  // no file
  write_file(path(),
             "; comment\r\n[Other]\r\nInputFormat=1\r\n[mpeg filter]\r\n  inputformat = 123abc \r\nEmpty=\r\n"
             "Word=abc\r\nNegative=-5\r\nQuoted=\"42\"\r\nBig=4294967297\r\n");
  EXPECT_EQ(read("MPEG Filter", "InputFormat"), 123u);
  EXPECT_EQ(read("MPEG Filter", "Empty"), 0u);
  EXPECT_EQ(read("MPEG Filter", "Word"), 0u);
  EXPECT_EQ(read("MPEG Filter", "Negative"), 0u);
  EXPECT_EQ(read("MPEG Filter", "Quoted"), 42u);
  EXPECT_EQ(read("MPEG Filter", "Big"), 1u);  // wraps like a 32-bit number
  EXPECT_EQ(read("MPEG Filter", "Missing"), 77u);
  EXPECT_EQ(read("Missing", "InputFormat"), 77u);
}

TEST_F(ProfileFile, WriteReplacesOrAddsAndKeepsTheRest) {
  write_file(path(), "[First]\nA=1\n\n[MPEG Filter]\nOther=x\nInputFormat=5\n\n[Last]\nB=2\n");
  ASSERT_TRUE(platform::profile_write_string("mpeg filter", "INPUTFORMAT", "1068576", "test.ini"));
  EXPECT_EQ(read_file(path()), "[First]\nA=1\n\n[MPEG Filter]\nOther=x\nINPUTFORMAT=1068576\n\n[Last]\nB=2\n");
  ASSERT_TRUE(platform::profile_write_string("First", "New", "7", "test.ini"));
  ASSERT_TRUE(platform::profile_write_string("Added", "C", "3", "test.ini"));
  EXPECT_EQ(read_file(path()),
            "[First]\nA=1\nNew=7\n\n[MPEG Filter]\nOther=x\nINPUTFORMAT=1068576\n\n[Last]\nB=2\n\n[Added]\nC=3\n");
  EXPECT_EQ(read("MPEG Filter", "InputFormat"), 1068576u);
  EXPECT_EQ(read("First", "New"), 7u);
  EXPECT_EQ(read("Added", "C"), 3u);
}

TEST_F(ProfileFile, WriteThatCannotBeDoneReportsFailure) {
  EXPECT_FALSE(platform::profile_write_string("S", "K", "2", "/proc/self/no-such-folder/test.ini"));
  EXPECT_FALSE(platform::profile_write_string("S", "K", nullptr, "test.ini"));
  EXPECT_FALSE(host_test::file_exists(path()));
}

// A profile that cannot be read whole is neither read nor replaced, and the write says so;
// one that just fits is both.
TEST_F(ProfileFile, WriteIsRefusedWheneverTheReadIsRefused) {
  const std::string head = "[Host]\nKeep=1\n[MPEG Filter]\nInputFormat=5\n";
  auto sized = [&](std::size_t bytes) { return head + std::string(bytes - head.size() - 1, ';') + "\n"; };
  struct Case {
    const char* what;
    std::function<void()> make;
    bool readable;
  };
  const Case cases[] = {
      {"1 MiB", [&] { write_file(path(), sized(1 << 20)); }, true},
      {"1 MiB and a byte", [&] { write_file(path(), sized((1 << 20) + 1)); }, false},
      {"a folder", [&] { ASSERT_EQ(::mkdir(path().c_str(), 0700), 0); }, false},
      {"a named pipe", [&] { ASSERT_EQ(::mkfifo(path().c_str(), 0600), 0); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(path());
    c.make();
    const std::string before = std::filesystem::is_regular_file(path()) ? read_file(path()) : "";
    EXPECT_EQ(read("MPEG Filter", "InputFormat"), c.readable ? 5u : 77u);
    EXPECT_EQ(platform::profile_write_string("MPEG Filter", "InputFormat", "9", "test.ini"), c.readable);
    EXPECT_EQ(read("MPEG Filter", "InputFormat"), c.readable ? 9u : 77u);
    if (!c.readable) {
      EXPECT_EQ(std::filesystem::is_regular_file(path()) ? read_file(path()) : "", before);
    } else {
      EXPECT_EQ(read("Host", "Keep"), 1u);
    }
  }
  std::filesystem::remove_all(path());
}

TEST(MemoryBlocks, LockGivesTheSameZeroedBytesUntilFreed) {
  const std::size_t before = platform::posix::live_block_count();
  platform::MemoryHandle block = platform::global_alloc(platform::kMemMovable | platform::kMemZeroInit, 176);
  ASSERT_NE(block, nullptr);
  auto* bytes = static_cast<unsigned char*>(platform::global_lock(block));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 176; ++i) ASSERT_EQ(bytes[i], 0) << i;
  bytes[175] = 9;
  platform::global_unlock(block);
  EXPECT_EQ(platform::global_lock(block), bytes);
  EXPECT_EQ(bytes[175], 9);
  platform::global_unlock(block);
  EXPECT_EQ(platform::posix::live_block_count(), before + 1);
  platform::global_free(block);
  EXPECT_EQ(platform::posix::live_block_count(), before);
  // Handles that are not (or no longer) blocks are refused, not followed.
  EXPECT_EQ(platform::global_lock(block), nullptr);
  int not_a_block = 0;
  EXPECT_EQ(platform::global_lock(&not_a_block), nullptr);
  platform::global_free(&not_a_block);
  platform::global_unlock(nullptr);
}

TEST(MemoryBlocks, InjectedFailureHitsExactlyOneAllocation) {
  platform::posix::fail_allocation_after(1);
  platform::MemoryHandle first = platform::global_alloc(platform::kMemMovable, 8);
  platform::MemoryHandle second = platform::global_alloc(platform::kMemMovable, 8);
  platform::MemoryHandle third = platform::global_alloc(platform::kMemMovable, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  platform::global_free(first);
  platform::global_free(third);
}

TEST(LegacyFiles, CreateTruncatesWriteAppendsOpenFindsExisting) {
  host_test::TempDir dir;
  const std::string name = dir.file("out.raw");
  write_file(name, "old contents");
  platform::FileHandle file = platform::legacy_create(name.c_str(), platform::kAttributeNormal);
  ASSERT_NE(file, platform::kFileError);
  EXPECT_EQ(read_file(name), "");
  EXPECT_EQ(platform::legacy_write(file, "abc", 3), 3);
  EXPECT_EQ(platform::legacy_write(file, "de", 2), 2);
  EXPECT_EQ(platform::legacy_write(file, "", 0), 0);
  EXPECT_EQ(platform::legacy_close(file), 0);
  EXPECT_EQ(read_file(name), "abcde");
  EXPECT_EQ(platform::legacy_write(file, "x", 1), -1);  // closed

  platform::FileHandle reading = platform::legacy_open(name.c_str(), platform::kOpenRead);
  EXPECT_NE(reading, platform::kFileError);
  EXPECT_EQ(platform::legacy_write(reading, "x", 1), -1);  // opened for reading only
  platform::legacy_close(reading);
  EXPECT_EQ(platform::legacy_open(dir.file("missing").c_str(), platform::kOpenRead), platform::kFileError);
  EXPECT_EQ(platform::legacy_create(dir.file("no/such/folder").c_str(), 0), platform::kFileError);
  EXPECT_TRUE(platform::delete_file(name.c_str()));
  EXPECT_FALSE(host_test::file_exists(name));
}

TEST(ExportLookup, OrdinalsResolveToTheNamedExports) {
  struct Export {
    uint32_t ordinal;
    const char* name;
  };
  const Export exports[] = {
      {MPEGIN_ORDINAL_RadozErezEduzad, "RadozErezEduzad"},
      {MPEGIN_ORDINAL_OpenFilterOutput, "OpenFilterOutput"},
      {MPEGIN_ORDINAL_CloseFilterOutput, "CloseFilterOutput"},
      {MPEGIN_ORDINAL_WriteFilterOutput, "WriteFilterOutput"},
      {MPEGIN_ORDINAL_OpenFilterInput, "OpenFilterInput"},
      {MPEGIN_ORDINAL_CloseFilterInput, "CloseFilterInput"},
      {MPEGIN_ORDINAL_ReadFilterInput, "ReadFilterInput"},
      {MPEGIN_ORDINAL_FilterUnderstandsFormat, "FilterUnderstandsFormat"},
      {MPEGIN_ORDINAL_FilterCanWriteSpecial, "FilterCanWriteSpecial"},
      {MPEGIN_ORDINAL_FilterCanReadSpecial, "FilterCanReadSpecial"},
      {MPEGIN_ORDINAL_FilterWriteSpecial, "FilterWriteSpecial"},
      {MPEGIN_ORDINAL_FilterReadSpecial, "FilterReadSpecial"},
      {MPEGIN_ORDINAL_FilterOptions, "FilterOptions"},
      {MPEGIN_ORDINAL_FilterGetFileSize, "FilterGetFileSize"},
      {MPEGIN_ORDINAL_FilterOptionsString, "FilterOptionsString"},
      {MPEGIN_ORDINAL_DIALOGMsgProc, "DIALOGMsgProc"},
      {MPEGIN_ORDINAL_FilterGetOptions, "FilterGetOptions"},
      {MPEGIN_ORDINAL_FilterSetOptions, "FilterSetOptions"},
      {MPEGIN_ORDINAL_FilterSetOptions2, "FilterSetOptions2"},
      {MPEGIN_ORDINAL_GetSuggestedSampleType, "GetSuggestedSampleType"},
      {MPEGIN_ORDINAL_FilterGetActualFormat, "FilterGetActualFormat"},
  };
  for (const Export& e : exports) {
    SCOPED_TRACE(e.name);
    const void* by_name = dlsym(RTLD_DEFAULT, e.name);
    ASSERT_NE(by_name, nullptr);
    EXPECT_EQ(reinterpret_cast<const void*>(platform::procedure_by_ordinal(nullptr, e.ordinal)), by_name);
  }
  EXPECT_EQ(reinterpret_cast<const void*>(platform::procedure_by_ordinal(nullptr, MPEGIN_ORDINAL_DIALOGMsgProc)),
            reinterpret_cast<const void*>(&DIALOGMsgProc));
  for (uint32_t empty : {0u, 1u, 14u, 18u, 19u, 21u, 29u, 35u}) {
    EXPECT_EQ(platform::procedure_by_ordinal(nullptr, empty), nullptr) << empty;
  }
}

TEST(FormatText, FormatsLikeWsprintfWithinItsLimit) {
  char text[platform::kFormatTextLimit + 16];
  EXPECT_EQ(platform::format_text(text, "%s Layer %d\r\n(%s)", "MPEG-1", 3, "128 kbit/s"), 28);
  EXPECT_STREQ(text, "MPEG-1 Layer 3\r\n(128 kbit/s)");
  std::memset(text, 'x', sizeof text);
  const std::string long_text(2000, 'a');
  EXPECT_EQ(platform::format_text(text, "%s", long_text.c_str()), 1023);
  EXPECT_EQ(std::strlen(text), 1023u);
  EXPECT_EQ(text[1024], 'x');
}

}  // namespace
}  // namespace mpegin
