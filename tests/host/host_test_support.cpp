#include "host/host_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/conformance.h"

namespace mpegin::host_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "mpegin-host-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_value_ = old != nullptr;
  if (had_value_) old_value_ = old;
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_value_) {
    setenv(name_.c_str(), old_value_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

void write_silent_layer2(const std::string& path, int frames, bool single_channel) {
  // Header: sync, MPEG-1, Layer II, no CRC, 128 kbit/s, 44.1 kHz; then an all-zero body, so
  // every subband has allocation 0. 144 x 128000 / 44100 = 417 bytes per frame.
  const std::string header = {'\xFF', '\xFD', '\x80', single_channel ? '\xC0' : '\x00'};
  std::string frame = header + std::string(417 - header.size(), '\0');
  std::string bytes;
  for (int i = 0; i < frames; ++i) bytes += frame;
  write_file(path, bytes);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

std::string conformance_folder() {
  const std::string folder = conformance::directory();
  return file_exists(folder + "/manifest.tsv") ? folder : std::string();
}

bool conformance_required() { return conformance::required(); }

}  // namespace mpegin::host_test
