// Export lookup, identification, file names, the profile through the real API, raw output.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "check.h"
#include "test_host.h"

namespace wintest {
namespace {

FARPROC by_ordinal(int ordinal) { return GetProcAddress(module().module, MAKEINTRESOURCEA(ordinal)); }

void exports_by_name_and_ordinal() {
  for (const ExportOrdinal& entry : kExportOrdinals) {
    FARPROC named = GetProcAddress(module().module, entry.name);
    if (!WT_CHECK_EQ(by_ordinal(entry.ordinal), named)) std::printf("    (%s, ordinal %d)\n", entry.name, entry.ordinal);
  }
  // The dialog procedure is found by number, as the options call itself does.
  WT_CHECK(by_ordinal(20) != nullptr);
  WT_CHECK(reinterpret_cast<void (*)()>(by_ordinal(20)) == reinterpret_cast<void (*)()>(module().DIALOGMsgProc));
  // Two pairs of ordinals share one entry.
  WT_CHECK_EQ(by_ordinal(10), by_ordinal(11));
  WT_CHECK_EQ(by_ordinal(12), by_ordinal(13));
  WT_CHECK(by_ordinal(10) != by_ordinal(12));
  for (int empty : {1, 14, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28, 29, 35}) {
    if (!WT_CHECK(by_ordinal(empty) == nullptr)) std::printf("    (ordinal %d)\n", empty);
  }
}

void identification_record_and_file_names() {
  unsigned char record[256];
  std::memset(record, 0xCC, sizeof record);
  WT_CHECK_EQ(module().RadozErezEduzad(reinterpret_cast<FilterQueryRecord*>(record)), 1152);
  const auto text_at = [&](int offset) { return std::string(reinterpret_cast<const char*>(record + offset)); };
  const auto u16_at = [&](int offset) { return record[offset] | record[offset + 1] << 8; };
  const auto u32_at = [&](int offset) { return static_cast<uint32_t>(u16_at(offset) | u16_at(offset + 2) << 16); };
  WT_CHECK_EQ(text_at(0), "MPEG 3");
  WT_CHECK_EQ(text_at(24), "MPEG (Layer 1,2,3) Decoder (GNU)");
  WT_CHECK_EQ(text_at(136), "MP3");
  WT_CHECK_EQ(text_at(144), "MP2");
  WT_CHECK_EQ(text_at(148), "MP1");
  WT_CHECK_EQ(u32_at(132), 0x905);
  WT_CHECK_EQ(u32_at(140), 0x4000);
  const int values[] = {0, 0, 0, 0, -1, 56, 0, 56, 0, -1, 56, 0, 56, -1};  // -1: not written
  for (int i = 0; i < 14; ++i) WT_CHECK_EQ(u16_at(104 + 2 * i), values[i] < 0 ? 0xCCCC : values[i]);
  WT_CHECK_EQ(record[7], 0xCC);    // after "MPEG 3" and its NUL
  WT_CHECK_EQ(record[57], 0xCC);   // after the description's NUL
  WT_CHECK_EQ(record[152], 0xCC);  // past the record

  WT_CHECK_EQ(module().FilterUnderstandsFormat("C:\\Music\\A.MP3"), 1);
  WT_CHECK_EQ(module().FilterUnderstandsFormat("x.Mp1"), 1);
  WT_CHECK_EQ(module().FilterUnderstandsFormat("track.mp2"), 1);
  WT_CHECK_EQ(module().FilterUnderstandsFormat(".mp3"), 0);
  WT_CHECK_EQ(module().FilterUnderstandsFormat("song.mpa"), 0);
  WT_CHECK_EQ(module().FilterUnderstandsFormat("song.mp3 "), 0);

  WT_CHECK_EQ(module().FilterCanReadSpecial(1, 2), 0);
  WT_CHECK_EQ(module().FilterCanWriteSpecial(-1, 7), 0);
  WT_CHECK_EQ(module().FilterReadSpecial(1, 2, 3, 4), 0);
  WT_CHECK_EQ(module().FilterWriteSpecial(-1, -1, -1, -1), 0);
}

// GetSuggestedSampleType reads the word that the host's profile holds.
void suggested_type_from_the_profile() {
  struct Case {
    const char* stored;  // nullptr: no entry
    int32_t result;
    int16_t bits;
  };
  const Case cases[] = {
      {nullptr, 0, 16},       {"2117152", 32, 32},  // 0 dB, 32-bit
      {"1068576", 16, 16},    {"17845792", 16, 16},  // 16-bit; 16-bit dithered
      {"1592864", 24, 16},                           // width byte 24 is reported as 16
      {"not a number", 0, 16},
  };
  for (const Case& c : cases) {
    store_option_text(c.stored);
    int32_t rate = 77;
    int16_t bits = 77, channels = 77;
    const bool ok = WT_CHECK_EQ(module().GetSuggestedSampleType(&rate, &bits, &channels), c.result) &
                    WT_CHECK_EQ(bits, c.bits) & WT_CHECK_EQ(rate, 0) & WT_CHECK_EQ(channels, 0);
    if (!ok) std::printf("    (stored %s)\n", c.stored ? c.stored : "nothing");
  }
  // The module keeps the word in the Windows directory's zazave.ini, where the host looks.
  store_option_text("2117152");
  char windows_dir[MAX_PATH];
  GetWindowsDirectoryA(windows_dir, MAX_PATH);
  const std::string ini = std::string(windows_dir) + "\\" + kProfileFile;
  WT_CHECK_EQ(GetPrivateProfileIntA(kProfileSection, kProfileKey, 0, ini.c_str()), 2117152u);
  store_option_text(nullptr);
}

std::vector<char> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void raw_output_pass_through() {
  const std::string path = environment().temp_dir + "raw output.pcm";
  int32_t value = 0;
  MpegOutputHandle out = module().OpenFilterOutput(path.c_str(), 0, 0, 0, 0x12345, &value, 0);
  WT_CHECK(out != nullptr);
  WT_CHECK_EQ(value, 16384);
  const char first[10] = {0, 1, 2, '\r', '\n', 0x1A, -1, -128, 127, '\n'};  // text-mode traps
  const char second[10] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, '\n', '\r'};
  WT_CHECK_EQ(module().WriteFilterOutput(out, first, 10), 10);
  WT_CHECK_EQ(module().WriteFilterOutput(out, second, 10), 10);
  module().CloseFilterOutput(out);
  std::vector<char> expected(first, first + 10);
  expected.insert(expected.end(), second, second + 10);
  WT_CHECK(file_bytes(path) == expected);

  // Opening an existing file truncates it.
  out = module().OpenFilterOutput(path.c_str(), 0, 0, 0, 0, &value, 0);
  WT_CHECK(out != nullptr);
  module().CloseFilterOutput(out);
  WT_CHECK_EQ(file_bytes(path).size(), 0u);

  // A file that cannot be created: no handle, value untouched.
  value = 55;
  const std::string nowhere = environment().temp_dir + "missing directory\\raw.pcm";
  WT_CHECK(module().OpenFilterOutput(nowhere.c_str(), 0, 0, 0, 0, &value, 0) == nullptr);
  WT_CHECK_EQ(value, 55);

  WT_CHECK_EQ(module().WriteFilterOutput(nullptr, first, 10), 0);
  module().CloseFilterOutput(nullptr);
  DeleteFileA(path.c_str());
}

void null_and_missing_input() {
  char buffer[16] = {};
  int16_t bits = 77;
  WT_CHECK_EQ(module().ReadFilterInput(nullptr, buffer, 16), 0);
  WT_CHECK_EQ(module().FilterGetFileSize(nullptr), 0);
  WT_CHECK_EQ(module().FilterOptions(nullptr), 0u);
  WT_CHECK_EQ(module().FilterOptionsString(nullptr, buffer), 0u);
  WT_CHECK_EQ(module().FilterSetOptions2(nullptr, 0x204E20, nullptr, nullptr, &bits), 0u);
  WT_CHECK_EQ(module().FilterGetActualFormat(nullptr, 0x204E20, 0, 0, &bits), 1);
  WT_CHECK_EQ(bits, 77);
  module().CloseFilterInput(nullptr);

  int32_t rate = 1, value = 1;
  int16_t channels = 1;
  const std::string missing = environment().temp_dir + "no such file.mp3";
  WT_CHECK(module().OpenFilterInput(missing.c_str(), &rate, &bits, &channels, 0, &value) == nullptr);
  // A file that exists but holds no MPEG audio.
  const std::string text = environment().temp_dir + "not audio.mp3";
  std::ofstream(text, std::ios::binary) << std::string(4000, 'x');
  WT_CHECK(module().OpenFilterInput(text.c_str(), &rate, &bits, &channels, 0, &value) == nullptr);
  DeleteFileA(text.c_str());
}

}  // namespace

void run_module_cases() {
  run_case("exports by name and by ordinal", exports_by_name_and_ordinal);
  run_case("identification record, file names, special data", identification_record_and_file_names);
  run_case("suggested sample type from the profile", suggested_type_from_the_profile);
  run_case("raw output pass-through", raw_output_pass_through);
  run_case("null handles and files that are not MPEG audio", null_and_missing_input);
}

}  // namespace wintest
