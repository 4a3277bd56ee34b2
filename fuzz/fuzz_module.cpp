// libFuzzer entry for the module's exports, called as a host calls them. The input is
//   bytes 0-3  the OptionWord the host applies (little-endian)
//   bytes 4-7  the OptionWord stored in the configuration before the file is opened
//   byte  8    which calls the host makes (see kCall* below)
//   bytes 9-24 text typed into the options dialog's gain field (when the dialog is run)
//   the rest   the file
// Whatever the input, the calls must not crash, leak, hang or write past the host's buffers,
// a read must deliver at most one frame at the width the options promised, and closing (or a
// failed open) must leave the module ready for the next file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decode_input.h"
#include "host/module_state.h"
#include "host/mpeginput.h"
#include "platform/posix/dialog_manager.h"

namespace {

constexpr uint8_t kCallSetOptions = 0x01;    // FilterSetOptions (by value) instead of FilterSetOptions2
constexpr uint8_t kCallNoOptions = 0x02;     // no options call before reading
constexpr uint8_t kCallNullPointers = 0x04;  // FilterSetOptions2 without output pointers
constexpr uint8_t kCallSwitchWidth = 0x08;   // apply the other width and dither between reads
constexpr uint8_t kCallStore = 0x10;         // store the second word in the configuration first
constexpr uint8_t kCallDialog = 0x20;        // run the options dialog with a scripted user
constexpr uint8_t kCallDialogCancel = 0x40;  // ... who cancels instead of typing and confirming
constexpr size_t kPrefixBytes = 25;
constexpr int32_t kMaxBytes32 = 9216;
constexpr int32_t kMaxBytes16 = 4608;

uint32_t little_endian(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "fuzz_module: %s\n", what);
  std::abort();
}

// The configuration lives in a private folder for the whole run.
void use_private_configuration() {
  static bool done = false;
  if (done) return;
  done = true;
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base != nullptr && *base ? base : "/tmp") + "/mpegin-fuzz-config-XXXXXX";
  if (mkdtemp(folder.data()) != nullptr) setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
}

void store_word(uint32_t word) {
  const char* folder = std::getenv("XDG_CONFIG_HOME");
  if (folder == nullptr) return;
  const std::string path = std::string(folder) + "/zazave.ini";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fprintf(f, "[MPEG Filter]\nInputFormat=%u\n", word);
    std::fclose(f);
  }
}

// Runs FilterGetOptions with a user who types `gain` and confirms, or cancels.
void run_dialog(uint32_t word, const uint8_t* gain, bool cancel) {
  std::string text;
  for (size_t i = 0; i < 16 && gain[i] != 0; ++i)
    if (gain[i] != ';' && gain[i] != '\n') text.push_back(static_cast<char>(gain[i]));
  mpegin::platform::posix::ScriptedDialogUser user(cancel ? "close" : "=" + text + ";ok");
  mpegin::platform::posix::set_dialog_user(&user);
  const uint32_t chosen = FilterGetOptions(nullptr, nullptr, 0, 0, 0, word);
  mpegin::platform::posix::set_dialog_user(nullptr);
  const uint32_t width = MPEGIN_OPTION_WIDTH(chosen);
  if (chosen != 0 && ((width != 16 && width != 32) || MPEGIN_OPTION_SCALE(chosen) > 40000))
    fail("the dialog chose an OptionWord outside its range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kPrefixBytes) return 0;
  use_private_configuration();
  const uint32_t word = little_endian(data);
  const uint32_t stored = little_endian(data + 4);
  const uint8_t calls = data[8];
  store_word((calls & kCallStore) != 0 ? stored : 0);
  if ((calls & kCallDialog) != 0) run_dialog(word, data + 9, (calls & kCallDialogCancel) != 0);

  const uint8_t* file = data + kPrefixBytes;
  const size_t file_size = size - kPrefixBytes;
  const std::string path = mpegin::fuzz::write_temp(file, file_size);
  if (path.empty()) return 0;

  int32_t rate = -1;
  int16_t bits = -1, channels = -1;
  int32_t value = 0;
  MpegInputHandle handle = OpenFilterInput(path.c_str(), &rate, &bits, &channels, 0, &value);
  if (handle == nullptr) {
    std::remove(path.c_str());
    if (mpegin::decoder_context().is_open()) fail("a failed open left the decoder open");
    return 0;
  }
  if ((channels != 1 && channels != 2) || (bits != 16 && bits != 32) || rate < 8000 || rate > 48000)
    fail("open reported an impossible format");

  int16_t width = bits;
  auto apply = [&](uint32_t option_word) {
    if ((calls & kCallSetOptions) != 0) {
      FilterSetOptions(handle, option_word, rate, channels, bits);
      int16_t actual = 0;
      FilterGetActualFormat(handle, option_word, 0, 0, &actual);
      width = MPEGIN_OPTION_WIDTH(option_word) == 16 ? 16 : 32;
    } else if ((calls & kCallNullPointers) != 0) {
      FilterSetOptions2(handle, option_word, nullptr, nullptr, nullptr);
      width = 0;  // not told: either width must fit the 32-bit bound
    } else {
      int32_t r = rate;
      int16_t c = channels;
      FilterSetOptions2(handle, option_word, &r, &c, &width);
      if (width != 16 && width != 32) fail("FilterSetOptions2 reported an impossible width");
    }
  };
  if ((calls & kCallNoOptions) == 0) apply(word);
  if (FilterGetFileSize(handle) < 0) fail("negative decoded size");
  {
    std::vector<char> text(1024, '\x7f');
    FilterOptionsString(handle, text.data());
    if (std::memchr(text.data(), '\0', text.size()) == nullptr) fail("the options string is not terminated");
  }
  FilterOptions(handle);

  // The host's buffer holds exactly one frame at 32 bits; the sanitizer sees any write beyond.
  std::unique_ptr<char[]> buffer(new char[kMaxBytes32]);
  const size_t max_reads = file_size / 4 + 2;
  size_t reads = 0;
  for (; reads < max_reads; ++reads) {
    const int32_t n = ReadFilterInput(handle, buffer.get(), 0);
    if (n < 0 || n > (width == 16 ? kMaxBytes16 : kMaxBytes32)) fail("a read delivered more than one frame");
    if (n == 0) break;
    if ((calls & kCallSwitchWidth) != 0 && reads % 3 == 2) apply(word ^ 0x01300000u);
  }
  if (reads == max_reads) fail("reads never reached the end of the stream");
  if (ReadFilterInput(handle, buffer.get(), 0) != 0) fail("a read after the end delivered samples");
  MpegStreamEvents events{};
  events.size = sizeof events;
  if (MpegInputStreamEvents(handle, &events) != sizeof events) fail("the stream events of an open input are missing");
  if (events.concealed_frames != 0 && events.first_concealed_sample > events.decoded_samples)
    fail("a concealed frame lies past what was read");
  CloseFilterInput(handle);
  std::remove(path.c_str());
  if (mpegin::decoder_context().is_open()) fail("closing left the decoder open");
  return 0;
}
