// Whole-stream decoding speed, in multiples of real time, with peak resident memory.
//
//   bench_throughput [--runs N] [--cache DIR] [--module PATH] [--mpegdec PATH] [FILE...]
//
// Without files it decodes five long streams (about ten minutes of audio each) that it makes
// once in the cache directory ($MPEGIN_BENCH_CACHE, default $XDG_CACHE_HOME/mpegin-bench):
// Layer I 384 kbit/s (the ISO stream l1-fl8 repeated, from $MPEG_CONFORMANCE_DIR), and with
// ffmpeg Layer II 384 kbit/s, Layer III 128 kbit/s stereo, Layer III 320 kbit/s joint stereo
// and MPEG-2 LSF Layer III 64 kbit/s from a stereo test signal.
//
// Each file is decoded through the module's ReadFilterInput at 32 bits, 16 bits and 16 bits
// with dither (in a fresh process each time, which loads libmpeginput.so as a host does), and
// by whole programs writing 32-bit floats to /dev/null: mpegdec on one thread (-T 1), and
// mpg123 and ffmpeg when installed. The runs are interleaved; each entry keeps its best of N.
// Throughput is audio seconds per second of processor time (user + system: steadier than wall
// time on a shared machine; wall time is shown too). Module entries time the read loop only;
// program entries time the whole process. Peak memory is the process's maximum resident set
// (wait4); for the module entries that process is bench_throughput itself with the module
// loaded.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "host/mpeginput.h"

namespace {

constexpr double kStreamSeconds = 600.0;

// ---------------------------------------------------------------------------------------------
// Processes

struct Outcome {
  bool ok = false;
  double cpu_seconds = 0;
  double wall_seconds = 0;
  long peak_kib = 0;
  std::string output;   // standard output, when captured
};

double seconds_of(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; }

// Runs argv with standard input from /dev/null, standard output captured or discarded, and
// standard error passed through.
Outcome run_process(const std::vector<std::string>& argv, bool capture) {
  Outcome outcome;
  int pipe_fds[2] = {-1, -1};
  if (capture && pipe(pipe_fds) != 0) return outcome;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return outcome;
  if (pid == 0) {
    const int null_in = open("/dev/null", O_RDONLY);
    const int null_out = open("/dev/null", O_WRONLY);
    dup2(null_in, STDIN_FILENO);
    dup2(capture ? pipe_fds[1] : null_out, STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (capture) {
    close(pipe_fds[1]);
    char block[512];
    ssize_t n;
    while ((n = read(pipe_fds[0], block, sizeof block)) > 0 || (n < 0 && errno == EINTR)) {
      if (n > 0) outcome.output.append(block, static_cast<size_t>(n));
    }
    close(pipe_fds[0]);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  outcome.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
  outcome.peak_kib = usage.ru_maxrss;
  outcome.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return outcome;
}

bool on_path(const char* tool) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + tool;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

std::string self_path() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string("bench_throughput");
}

double cpu_now() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// ---------------------------------------------------------------------------------------------
// The module, in a process of its own: bench_throughput --module-child MODULE FILE MODE
// prints "<interleaved samples> <rate> <channels> <cpu seconds> <wall seconds>".

enum class Mode { kFloat32, kInt16, kInt16Dither };
constexpr const char* kModeNames[] = {"f32", "s16", "s16d"};
constexpr uint32_t kModeWords[] = {0x204E20u, 0x104E20u, 0x1104E20u};   // 0 dB; width; dither

int module_child(const char* module_path, const char* file, const char* mode_name) {
  int mode = -1;
  for (int m = 0; m < 3; ++m) {
    if (std::strcmp(mode_name, kModeNames[m]) == 0) mode = m;
  }
  void* library = dlopen(module_path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr || mode < 0) {
    std::fprintf(stderr, "bench_throughput: %s\n", library == nullptr ? dlerror() : "bad mode");
    return 2;
  }
  auto open_input = reinterpret_cast<OpenFilterInputFn>(dlsym(library, "OpenFilterInput"));
  auto set_options = reinterpret_cast<FilterSetOptions2Fn>(dlsym(library, "FilterSetOptions2"));
  auto read_input = reinterpret_cast<ReadFilterInputFn>(dlsym(library, "ReadFilterInput"));
  auto close_input = reinterpret_cast<CloseFilterInputFn>(dlsym(library, "CloseFilterInput"));
  if (!open_input || !set_options || !read_input || !close_input) {
    std::fprintf(stderr, "bench_throughput: %s lacks the input calls\n", module_path);
    return 2;
  }
  int32_t rate = 0, block = 0;
  int16_t bits = 0, channels = 0;
  MpegInputHandle handle = open_input(file, &rate, &bits, &channels, 0, &block);
  if (handle == nullptr) {
    std::fprintf(stderr, "bench_throughput: the module cannot open %s\n", file);
    return 2;
  }
  set_options(handle, kModeWords[mode], &rate, &channels, &bits);
  const size_t sample_bytes = bits == 32 ? 4 : 2;
  std::vector<float> buffer(std::max<int32_t>(block, 16384) / sizeof(float));
  uint64_t bytes = 0;
  double checksum = 0;   // keeps the samples alive
  const double cpu_start = cpu_now();
  const auto wall_start = std::chrono::steady_clock::now();
  for (int empty = 0; empty < 4096;) {
    const int32_t n = read_input(handle, buffer.data(), 0);
    if (n <= 0) {
      ++empty;
      continue;
    }
    empty = 0;
    bytes += static_cast<uint64_t>(n);
    checksum += sample_bytes == 4 ? double(buffer[0]) : double(reinterpret_cast<int16_t*>(buffer.data())[0]);
  }
  const double cpu = cpu_now() - cpu_start;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  close_input(handle);
  std::printf("%llu %d %d %.6f %.6f %g\n", static_cast<unsigned long long>(bytes / sample_bytes),
              rate, channels, cpu, wall, checksum);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Streams made once in the cache directory

struct StreamRecipe {
  const char* file;
  const char* title;
  std::vector<std::string> encoder;   // ffmpeg arguments after the input; empty: repeated ISO stream
};

// A stereo test signal with some movement in it: two detuned chords, a slow tremolo, and
// quiet uncorrelated noise in each channel, so that the encoders have real work to code.
const char* kSignal =
    "aevalsrc=exprs="
    "'0.25*sin(2*PI*220*t)*(1+0.4*sin(2*PI*0.7*t))+0.12*sin(2*PI*1318.5*t)+0.05*sin(2*PI*5274*t)"
    "+0.04*(random(0)-0.5)|"
    "0.25*sin(2*PI*277.2*t)*(1+0.4*sin(2*PI*0.5*t))+0.12*sin(2*PI*1661*t)+0.05*sin(2*PI*7040*t)"
    "+0.04*(random(1)-0.5)'";

std::vector<StreamRecipe> recipes() {
  return {
      {"l1-384.mp1", "Layer I 384k", {}},
      {"l2-384.mp2", "Layer II 384k", {"-c:a", "mp2", "-b:a", "384k"}},
      {"l3-128.mp3", "Layer III 128k stereo", {"-c:a", "libmp3lame", "-b:a", "128k", "-joint_stereo", "0"}},
      {"l3-320.mp3", "Layer III 320k joint", {"-c:a", "libmp3lame", "-b:a", "320k", "-joint_stereo", "1"}},
      {"l3-lsf64.mp3", "LSF Layer III 64k", {"-ar", "22050", "-c:a", "libmp3lame", "-b:a", "64k"}},
  };
}

bool repeat_iso_stream(const std::string& out) {
  const char* env = std::getenv("MPEG_CONFORMANCE_DIR");
  const std::string source =
      std::string(env != nullptr && *env ? env : MPEGIN_CONFORMANCE_DEFAULT) + "/l1-fl8.bit";
  FILE* in = std::fopen(source.c_str(), "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "bench_throughput: no %s (set MPEG_CONFORMANCE_DIR); Layer I skipped\n",
                 source.c_str());
    return false;
  }
  std::vector<char> data;
  char block[65536];
  for (size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;) data.insert(data.end(), block, block + n);
  std::fclose(in);
  const std::string partial = out + ".part";
  FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr || data.empty()) return false;
  // 384 kbit/s: 48000 bytes a second.
  const double target = kStreamSeconds * 48000.0;
  bool ok = true;
  for (double written = 0; written < target && ok; written += double(data.size()))
    ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  ok = std::fclose(file) == 0 && ok;
  return ok && std::rename(partial.c_str(), out.c_str()) == 0;
}

bool make_stream(const StreamRecipe& recipe, const std::string& out, bool have_ffmpeg) {
  if (recipe.encoder.empty()) return repeat_iso_stream(out);
  if (!have_ffmpeg) {
    std::fprintf(stderr, "bench_throughput: ffmpeg is not installed; %s skipped\n", recipe.file);
    return false;
  }
  std::fprintf(stderr, "bench_throughput: making %s (once)\n", out.c_str());
  const std::string partial = out + ".part";
  std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                   std::string(kSignal) + ":s=44100:d=" + std::to_string(int(kStreamSeconds))};
  argv.insert(argv.end(), recipe.encoder.begin(), recipe.encoder.end());
  argv.insert(argv.end(), {"-f", "mp3", partial});
  if (std::strstr(recipe.file, ".mp2") != nullptr) argv[argv.size() - 2] = "mp2";
  return run_process(argv, false).ok && std::rename(partial.c_str(), out.c_str()) == 0;
}

std::string cache_directory(const char* given) {
  std::string dir;
  if (given != nullptr) {
    dir = given;
  } else if (const char* env = std::getenv("MPEGIN_BENCH_CACHE"); env != nullptr && *env) {
    dir = env;
  } else if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg) {
    dir = std::string(xdg) + "/mpegin-bench";
  } else {
    const char* home = std::getenv("HOME");
    dir = std::string(home != nullptr ? home : "/tmp") + "/.cache/mpegin-bench";
  }
  for (size_t at = 1; at != std::string::npos; at = dir.find('/', at + 1)) mkdir(dir.substr(0, at).c_str(), 0777);
  mkdir(dir.c_str(), 0777);
  return dir;
}

// ---------------------------------------------------------------------------------------------
// The measurements

struct Entry {
  std::string name;
  std::vector<std::string> argv;
  bool module = false;   // times reported by the child itself
  double best_cpu = 1e300;
  double best_wall = 1e300;
  long peak_kib = 0;
  bool failed = false;
};

struct Input {
  std::string path;
  std::string title;
  double audio_seconds = 0;
  std::vector<Entry> entries;
};

void measure(Entry& entry, Input& input) {
  const Outcome outcome = run_process(entry.argv, entry.module);
  if (!outcome.ok) {
    entry.failed = true;
    return;
  }
  double cpu = outcome.cpu_seconds;
  double wall = outcome.wall_seconds;
  if (entry.module) {
    unsigned long long samples = 0;
    int rate = 0, channels = 0;
    if (std::sscanf(outcome.output.c_str(), "%llu %d %d %lf %lf", &samples, &rate, &channels, &cpu,
                    &wall) != 5 || rate <= 0 || channels <= 0) {
      entry.failed = true;
      return;
    }
    input.audio_seconds = double(samples) / channels / rate;
  }
  entry.best_cpu = std::min(entry.best_cpu, cpu);
  entry.best_wall = std::min(entry.best_wall, wall);
  entry.peak_kib = std::max(entry.peak_kib, outcome.peak_kib);
}

const Entry* find(const Input& input, const char* name) {
  for (const Entry& e : input.entries) {
    if (e.name == name && !e.failed && e.best_cpu < 1e300) return &e;
  }
  return nullptr;
}

double speed(const Input& input, const Entry& e) {
  return e.best_cpu > 0 ? input.audio_seconds / e.best_cpu : 0.0;
}

void print_ratio(const Input& input, const char* ours, const char* theirs) {
  const Entry* a = find(input, ours);
  const Entry* b = find(input, theirs);
  if (a == nullptr || b == nullptr) {
    std::printf(" | -");
    return;
  }
  std::printf(" | %.2f", speed(input, *a) / speed(input, *b));
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_throughput [--runs N] [--cache DIR] [--module PATH] [--mpegdec PATH] [FILE...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--module-child") == 0) return module_child(argv[2], argv[3], argv[4]);

  int runs = 5;
  const char* cache = nullptr;
  std::string module_path = MPEGIN_BENCH_MODULE;
  std::string mpegdec_path = MPEGIN_BENCH_MPEGDEC;
  if (const char* env = std::getenv("MPEGIN_MODULE"); env != nullptr && *env) module_path = env;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--runs" && has_value) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--cache" && has_value) {
      cache = argv[++i];
    } else if (arg == "--module" && has_value) {
      module_path = argv[++i];
    } else if (arg == "--mpegdec" && has_value) {
      mpegdec_path = argv[++i];
    } else if (arg == "-h" || arg == "--help" || (!arg.empty() && arg[0] == '-')) {
      return usage();
    } else {
      files.push_back(arg);
    }
  }

  const bool have_mpg123 = on_path("mpg123");
  const bool have_ffmpeg = on_path("ffmpeg");
  std::vector<Input> inputs;
  if (files.empty()) {
    const std::string dir = cache_directory(cache);
    for (const StreamRecipe& recipe : recipes()) {
      const std::string path = dir + "/" + recipe.file;
      if (exists(path) || make_stream(recipe, path, have_ffmpeg)) inputs.push_back({path, recipe.title, 0, {}});
    }
  } else {
    for (const std::string& f : files) {
      const size_t slash = f.rfind('/');
      inputs.push_back({f, slash == std::string::npos ? f : f.substr(slash + 1), 0, {}});
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "bench_throughput: nothing to decode\n");
    return 1;
  }

  const std::string self = self_path();
  const bool have_mpegdec = access(mpegdec_path.c_str(), X_OK) == 0;
  for (Input& input : inputs) {
    for (int m = 0; m < 3; ++m) {
      input.entries.push_back({std::string("module ") + kModeNames[m],
                               {self, "--module-child", module_path, input.path, kModeNames[m]}, true});
    }
    if (have_mpegdec) {
      input.entries.push_back({"mpegdec f32", {mpegdec_path, "-q", "-T", "1", "--raw", "--format", "f32", "-o", "/dev/null", input.path}});
    }
    if (have_mpg123) input.entries.push_back({"mpg123 f32", {"mpg123", "-q", "-e", "f32", "-s", input.path}});
    if (have_ffmpeg) {
      input.entries.push_back({"ffmpeg f32", {"ffmpeg", "-nostdin", "-threads", "1", "-v", "error", "-i", input.path,
                                              "-f", "f32le", "-y", "/dev/null"}});
    }
  }
  std::fprintf(stderr, "bench_throughput: %d run%s of each entry, interleaved\n", runs, runs == 1 ? "" : "s");
  for (int run = 0; run < runs; ++run) {
    for (Input& input : inputs) {
      for (Entry& entry : input.entries) measure(entry, input);
    }
  }

  std::printf("x real time = audio seconds / best processor seconds (user + system) of %d runs\n\n", runs);
  std::printf("| stream | decoder | x real time | best cpu ms | best wall ms | peak MB |\n");
  std::printf("|---|---|---:|---:|---:|---:|\n");
  for (const Input& input : inputs) {
    bool first = true;
    for (const Entry& e : input.entries) {
      std::printf("| %s | %s |", first ? input.title.c_str() : "", e.name.c_str());
      first = false;
      if (e.failed || e.best_cpu >= 1e300) {
        std::printf(" failed | | | |\n");
        continue;
      }
      std::printf(" %.0f | %.0f | %.0f | %.1f |\n", speed(input, e), e.best_cpu * 1e3, e.best_wall * 1e3,
                  double(e.peak_kib) / 1024.0);
    }
  }
  std::printf("\nthroughput ratios (higher is faster for us) and peak memory, same run\n\n");
  std::printf("| stream | mpegdec/mpg123 | mpegdec/ffmpeg | module f32/mpg123 | module f32/ffmpeg | peak mpegdec/mpg123 |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  for (const Input& input : inputs) {
    std::printf("| %s", input.title.c_str());
    print_ratio(input, "mpegdec f32", "mpg123 f32");
    print_ratio(input, "mpegdec f32", "ffmpeg f32");
    print_ratio(input, "module f32", "mpg123 f32");
    print_ratio(input, "module f32", "ffmpeg f32");
    const Entry* ours = find(input, "mpegdec f32");
    const Entry* theirs = find(input, "mpg123 f32");
    if (ours != nullptr && theirs != nullptr && theirs->peak_kib > 0) {
      std::printf(" | %.2f |\n", double(ours->peak_kib) / double(theirs->peak_kib));
    } else {
      std::printf(" | - |\n");
    }
  }
  return 0;
}
