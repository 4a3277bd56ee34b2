// Runs the built mpegdec binary and reads back what it wrote.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/conformance.h"

namespace mpegdec_test {

struct RunResult {
  int status = -1;       // exit status; 128 + n when ended by signal n
  std::string out;       // standard output
  std::string err;       // standard error
};

struct RunOptions {
  std::string stdin_data;                                  // standard input (empty: /dev/null)
  std::vector<std::pair<std::string, std::string>> env;    // added or replaced variables
  std::string config_home;                                 // XDG_CONFIG_HOME (default: a fresh one)
  long file_size_limit = -1;                               // RLIMIT_FSIZE in bytes, -1 none
  std::string stderr_path;                                 // spawn_mpegdec: standard error here
  int stdout_fd = -1;                                      // spawn_mpegdec: standard output here
  bool ignore_sigint = false;                              // spawn_mpegdec: as '&' in a script
};

RunResult run_mpegdec(const std::vector<std::string>& args, const RunOptions& options = {});

// Starts mpegdec with standard input from `stdin_fd` and standard output and error on
// /dev/null (standard output on options.stdout_fd and standard error in options.stderr_path if
// given); returns its process id.
int spawn_mpegdec(const std::vector<std::string>& args, const RunOptions& options, int stdin_fd);
// Waits for a process started by spawn_mpegdec; returns its status as RunResult does.
int wait_mpegdec(int pid);
// The same, for at most ten seconds; then the process is killed and -1 returned.
int wait_mpegdec_bounded(int pid);
// The processes whose parent is `pid`.
std::vector<int> child_processes(int pid);

// Runs mpegdec with its standard error on a pseudo-terminal; returns what the terminal showed.
RunResult run_mpegdec_on_terminal(const std::vector<std::string>& args, const RunOptions& options = {});

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const;   // names in the directory, sorted

 private:
  std::string path_;
};

std::string sample_path();   // the bundled samples/chime.mp2, or $MPEGDEC_TEST_SAMPLE
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);

std::vector<float> floats_of(const std::string& bytes);
std::vector<int16_t> shorts_of(const std::string& bytes);

// An audio file read back with libsndfile.
struct AudioFile {
  bool opened = false;
  int format = 0;          // SF_FORMAT_* (major | subtype)
  int channels = 0;
  int sample_rate = 0;
  std::vector<float> floats;     // as stored for float files, normalised for integer files
  std::vector<int16_t> shorts;   // for 16-bit files
};
AudioFile read_audio(const std::string& path);

// What the decoder itself delivers for a file (a decoder context of the test's own).
struct Reference {
  int channels = 0;
  int sample_rate = 0;
  std::vector<float> samples;   // full scale 1.0
};
Reference decode_reference(const std::string& path);

// The module's 16-bit delivery without dither: f x gain in single precision, clipped to
// [-32767, 32767], truncated toward zero.
std::vector<int16_t> to_16bit(const std::vector<float>& samples, float gain = 32768.0f);

// The module's linear gain for a scale field: 32768 x 10^(dB/20) as a float.
float module_gain(uint32_t scale_field);

// The module's dithered 16-bit delivery of `reference` at scale field `scale_field` (mono
// conversion of the interleaved samples), from the seed an open of the module may take (the
// tick count modulo 50000) whose first samples are those of `out`; empty when no seed gives them.
std::vector<int16_t> dithered_reference(const Reference& reference, uint32_t scale_field,
                                        const std::vector<int16_t>& out);

// A protected Layer II stream whose fourth frame fails its check word (an allocation bit
// flipped); the stream unchanged when it has no fourth frame.
std::string with_fourth_frame_damaged(std::string bytes);

// Runs python3 to evaluate `expression` on the JSON text `json` (bound to d); returns what
// it printed, or "" when python3 is missing.
std::string evaluate_json(const std::string& json, const std::string& expression);

// Conformance streams, when the directory is there: the file path for a stream name, or "".
std::string conformance_stream(const std::string& name);

}  // namespace mpegdec_test

// A conformance stream for a test, or a loud skip (a failure when they are required).
#define MPEGDEC_CONFORMANCE_STREAM(variable, name)                                          \
  const std::string variable = mpegdec_test::conformance_stream(name);                      \
  if (variable.empty()) {                                                                   \
    if (mpegin::conformance::required()) FAIL() << "conformance stream " name " missing";   \
    GTEST_SKIP() << "*** conformance stream " name " not found; set MPEG_CONFORMANCE_DIR"; \
  }
