#include "mpegdec_harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "decoder/decoder_context.h"
#include "host/dither.h"
#include "host/sample_conversion.h"
#include "support/conformance.h"

namespace mpegdec_test {

namespace {

int status_of(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

// Sanitizer reports must not pass for mpegdec's own status 1.
std::string with_exit_code(const char* name) {
  const char* current = std::getenv(name);
  return std::string(current != nullptr ? current : "") + (current != nullptr && *current ? ":" : "") +
         "exitcode=99";
}

// Sets up the child's environment and exec's mpegdec; never returns.
[[noreturn]] void exec_mpegdec(const std::vector<std::string>& args, const RunOptions& options,
                               const std::string& config_home) {
  setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
  setenv("HOME", config_home.c_str(), 1);
  setenv("ASAN_OPTIONS", with_exit_code("ASAN_OPTIONS").c_str(), 1);
  setenv("UBSAN_OPTIONS", with_exit_code("UBSAN_OPTIONS").c_str(), 1);
  unsetenv("MPEGIN_MODULE");
  for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
  if (options.file_size_limit >= 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                       static_cast<rlim_t>(options.file_size_limit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  std::vector<char*> argv;
  std::string binary = MPEGDEC_BINARY;
  argv.push_back(binary.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  execv(binary.c_str(), argv.data());
  _exit(127);
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/mpegdec-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  const std::string command = "rm -rf '" + path_ + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", path_.c_str());
}

std::vector<std::string> TempDir::entries() const {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path_.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        names.emplace_back(entry->d_name);
      }
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

RunResult run_mpegdec(const std::vector<std::string>& args, const RunOptions& options) {
  TempDir scratch;
  const std::string config_home = options.config_home.empty() ? scratch.file("config") : options.config_home;
  mkdir(config_home.c_str(), 0700);
  write_file(scratch.file("stdin"), options.stdin_data);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(scratch.file("stdin").c_str(), O_RDONLY);
    const int out = open(scratch.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(scratch.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    exec_mpegdec(args, options, config_home);
  }
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  RunResult result;
  result.status = status_of(wait_status);
  result.out = read_file(scratch.file("stdout"));
  result.err = read_file(scratch.file("stderr"));
  return result;
}

int spawn_mpegdec(const std::vector<std::string>& args, const RunOptions& options, int stdin_fd) {
  const std::string config_home = options.config_home.empty() ? "/nonexistent" : options.config_home;
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    const int err = options.stderr_path.empty()
                        ? null
                        : open(options.stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(stdin_fd, STDIN_FILENO);
    dup2(options.stdout_fd >= 0 ? options.stdout_fd : null, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (options.ignore_sigint) signal(SIGINT, SIG_IGN);   // kept across exec
    exec_mpegdec(args, options, config_home);
  }
  return pid;
}

int wait_mpegdec_bounded(int pid) {
  for (int i = 0; i < 10000; ++i) {
    int wait_status = 0;
    if (waitpid(pid, &wait_status, WNOHANG) == pid) return status_of(wait_status);
    usleep(1000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

std::vector<int> child_processes(int pid) {
  std::vector<int> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (const dirent* entry = readdir(proc)) {
    const int candidate = std::atoi(entry->d_name);
    if (candidate <= 0) continue;
    // "pid (name) state ppid ...": the name may hold blanks, so read after its last ')'.
    const std::string stat = read_file("/proc/" + std::string(entry->d_name) + "/stat");
    const size_t close = stat.rfind(')');
    int parent = 0;
    char state = 0;
    if (close != std::string::npos && std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
        parent == pid) {
      children.push_back(candidate);
    }
  }
  closedir(proc);
  return children;
}

int wait_mpegdec(int pid) {
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  return status_of(wait_status);
}

RunResult run_mpegdec_on_terminal(const std::vector<std::string>& args, const RunOptions& options) {
  TempDir scratch;
  const std::string config_home = options.config_home.empty() ? scratch.file("config") : options.config_home;
  mkdir(config_home.c_str(), 0700);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    // Standard error stays on the terminal; standard output goes to a file.
    const int out = open(scratch.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, STDOUT_FILENO);
    exec_mpegdec(args, options, config_home);
  }
  RunResult result;
  if (pid < 0) return result;
  char block[4096];
  for (;;) {
    const ssize_t n = read(master, block, sizeof block);
    if (n > 0) {
      result.err.append(block, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;   // EIO once the terminal's last user is gone
    }
  }
  close(master);
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  result.status = status_of(wait_status);
  result.out = read_file(scratch.file("stdout"));
  return result;
}

std::string with_fourth_frame_damaged(std::string bytes) {
  // Headers repeat the first one's leading bytes.
  size_t header = 0;
  for (int frame = 0; frame < 4; ++frame) {
    header = bytes.find(bytes.substr(0, 3), header + (frame == 0 ? 0 : 1));
    if (header == std::string::npos || header + 6 >= bytes.size()) return bytes;
  }
  bytes[header + 6] = static_cast<char>(bytes[header + 6] ^ 0x40);
  return bytes;
}

std::string sample_path() {
  const char* chosen = std::getenv("MPEGDEC_TEST_SAMPLE");   // another stream to run the suite on
  return chosen != nullptr && *chosen ? chosen : std::string(MPEGIN_SOURCE_DIR) + "/samples/chime.mp2";
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::vector<float> floats_of(const std::string& bytes) {
  std::vector<float> values(bytes.size() / sizeof(float));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(float));
  return values;
}

std::vector<int16_t> shorts_of(const std::string& bytes) {
  std::vector<int16_t> values(bytes.size() / sizeof(int16_t));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(int16_t));
  return values;
}

AudioFile read_audio(const std::string& path) {
  AudioFile audio;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return audio;
  audio.opened = true;
  audio.format = info.format;
  audio.channels = info.channels;
  audio.sample_rate = info.samplerate;
  const size_t count = static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels);
  if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {
    audio.shorts.resize(count);
    audio.shorts.resize(static_cast<size_t>(sf_read_short(file, audio.shorts.data(), static_cast<sf_count_t>(count))));
  } else {
    audio.floats.resize(count);
    audio.floats.resize(static_cast<size_t>(sf_read_float(file, audio.floats.data(), static_cast<sf_count_t>(count))));
  }
  sf_close(file);
  return audio;
}

Reference decode_reference(const std::string& path) {
  const mpegin::conformance::Decoded decoded = mpegin::conformance::decode_file(path);
  Reference reference;
  reference.channels = decoded.channels;
  reference.sample_rate = decoded.sample_rate;
  reference.samples = decoded.samples;
  return reference;
}

std::vector<int16_t> to_16bit(const std::vector<float>& samples, float gain) {
  std::vector<int16_t> out;
  out.reserve(samples.size());
  for (const float f : samples) {
    const float v = f * gain;
    out.push_back(v < -32767.0f ? -32767 : v > 32767.0f ? 32767 : static_cast<int16_t>(v));
  }
  return out;
}

std::vector<int16_t> dithered_reference(const Reference& reference, uint32_t scale_field,
                                        const std::vector<int16_t>& out) {
  std::vector<float> scaled(reference.samples.size());
  mpegin::scale_samples(scaled.data(), reference.samples.data(), static_cast<uint32_t>(scaled.size()),
                        module_gain(scale_field));
  const auto dithered = [&](uint32_t seed, size_t count) {
    std::vector<int16_t> samples(count);
    mpegin::dither_seed(seed);
    mpegin::convert_dithered(samples.data(), scaled.data(), static_cast<int32_t>(count), 1, 1.0);
    return samples;
  };
  const size_t head = std::min<size_t>(64, std::min(out.size(), scaled.size()));
  const std::vector<int16_t> first(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(head));
  for (uint32_t seed = 0; seed < 50000; ++seed) {
    if (dithered(seed, head) == first) return dithered(seed, std::min(out.size(), scaled.size()));
  }
  return {};
}

float module_gain(uint32_t scale_field) {
  const double db = scale_field * 0.01 - 200.0;
  return static_cast<float>(32768.0 * std::pow(10.0, db * 0.05));
}

std::string evaluate_json(const std::string& json, const std::string& expression) {
  TempDir scratch;
  write_file(scratch.file("in.json"), json);
  write_file(scratch.file("eval.py"),
             "import json, sys\nd = json.load(open(sys.argv[1]))\nprint((" + expression + "))\n");
  const std::string command = "python3 '" + scratch.file("eval.py") + "' '" + scratch.file("in.json") +
                              "' > '" + scratch.file("out") + "' 2>&1";
  const int status = std::system(command.c_str());
  std::string out = read_file(scratch.file("out"));
  if (status != 0) return "python3 failed: " + out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string conformance_stream(const std::string& name) {
  const std::string path = mpegin::conformance::directory() + "/" + name + ".bit";
  return file_exists(path) ? path : std::string();
}

}  // namespace mpegdec_test
