// Helpers of the host module tests: temporary folders, environment changes that are undone,
// small MPEG files made on the spot, and the ISO compliance streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mpegin::host_test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or, with a null value, removes) an environment variable until destroyed.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_value_;
  bool had_value_;
};

// An MPEG-1 Layer II file of silent 44.1 kHz frames at 128 kbit/s: stereo, or single channel.
void write_silent_layer2(const std::string& path, int frames, bool single_channel = false);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);

// The folder of the ISO compliance streams, or "" when it has no manifest.
std::string conformance_folder();
bool conformance_required();

}  // namespace mpegin::host_test

// Declares `folder` as the compliance streams' folder; skips the test loudly when they are
// missing, or fails it when MPEGIN_REQUIRE_CONFORMANCE=1.
#define HOST_TEST_CONFORMANCE_FOLDER(folder)                                                           \
  const std::string folder = ::mpegin::host_test::conformance_folder();                                \
  if (folder.empty()) {                                                                                 \
    if (::mpegin::host_test::conformance_required()) FAIL() << "compliance streams are missing";        \
    GTEST_SKIP() << "*** compliance streams not found (set MPEG_CONFORMANCE_DIR): test NOT run ***";  \
  }
