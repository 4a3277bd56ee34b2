#include "decode_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "container_sniff.h"
#include "messages.h"
#include "module_input.h"
#include "option_word.h"
#include "output_target.h"
#include "progress_display.h"
#include "stdin_spool.h"
#include "stream_report.h"

namespace mpegin::mpegdec {

namespace {

std::string strip_extension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1)) {
    return path;
  }
  return path.substr(0, dot);
}

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool is_empty_file(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

std::string output_in_directory(const std::string& directory, const DecodeJob& job) {
  const std::string stem = job.input == "-" ? "stdin" : base_name(strip_extension(job.input));
  std::string dir = directory;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir + "/" + stem + "." + extension_of(job.type);
}

void print_summary(const DecodeJob& job, const ModuleInput& input, uint32_t word,
                   uint64_t samples, double elapsed) {
  const double seconds = input.channels() > 0 && input.sample_rate() > 0
                             ? static_cast<double>(samples) / input.channels() / input.sample_rate()
                             : 0.0;
  std::fprintf(stderr, "mpegdec: %s -> %s: %.2f s of audio, %d Hz, %d channel%s, %s, in %.2f s (%.0fx)\n",
               job.display.c_str(), job.output == "-" ? "standard output" : job.output.c_str(),
               seconds, input.sample_rate(), input.channels(), input.channels() == 1 ? "" : "s",
               describe_word(word).c_str(), elapsed,
               elapsed > 0.0 ? seconds / elapsed : 0.0);
  std::fflush(stderr);
}

}  // namespace

std::string input_problem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  // The module reads files on disk only; a pipe would also make the open wait for a writer
  // (standard input, "-", is copied to a file first).
  if (!S_ISREG(st.st_mode)) return "not a regular file; use - for a pipe";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  return {};
}

std::string not_mpeg_reason(const std::string& path) {
  if (is_empty_file(path)) return "not MPEG audio (empty file)";
  const std::string kind = foreign_audio_kind(path);
  return kind.empty() ? "not MPEG audio" : "not MPEG audio (" + kind + " data)";
}

bool plan_jobs(const Settings& settings, std::vector<DecodeJob>& jobs, std::string& error) {
  jobs.clear();
  const FileType default_type = settings.type.value_or(FileType::kWav);
  const bool several = settings.inputs.size() > 1;
  const bool into_directory =
      !settings.output.empty() && settings.output != "-" &&
      (several || settings.output.back() == '/' || is_directory(settings.output));
  if (into_directory) {
    struct stat st {};
    if (stat(settings.output.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        error = "output '" + settings.output + "' is not a directory, but there are several inputs";
        return false;
      }
    } else if (mkdir(settings.output.c_str(), 0777) != 0) {
      error = "cannot create the output directory '" + settings.output + "' (" +
              std::strerror(errno) + ")";
      return false;
    }
  }
  std::set<std::string> outputs;
  for (const std::string& input : settings.inputs) {
    DecodeJob job;
    job.input = input;
    job.display = input == "-" ? "standard input" : input;
    job.type = default_type;
    if (settings.output == "-" || (settings.output.empty() && input == "-")) {
      job.output = "-";
      job.type = FileType::kRaw;
      if (isatty(STDOUT_FILENO)) {
        error = "refusing to write audio samples to a terminal; use -o FILE";
        return false;
      }
    } else if (into_directory) {
      job.output = output_in_directory(settings.output, job);
    } else if (!settings.output.empty()) {
      job.output = settings.output;
      if (!settings.type && !file_type_from_extension(job.output, job.type)) {
        error = "cannot tell the type of '" + job.output +
                "' from its name; use .wav, .flac, .aiff or .w64, or --type or --raw";
        return false;
      }
    } else {
      job.output = strip_extension(input) + "." + extension_of(job.type);
    }
    if (job.output != "-" && !outputs.insert(job.output).second) {
      error = "two inputs would be written to '" + job.output + "'";
      return false;
    }
    jobs.push_back(job);
  }
  return true;
}

bool run_job(const ModuleApi& api, const Settings& settings, const DecodeJob& job,
             bool show_progress) {
  std::string reason;
  StdinSpool spool;
  std::string path = job.input;
  if (job.input == "-") {
    if (!spool.fill(reason)) {
      report(job.display, "cannot open (" + reason + ")");
      return false;
    }
    path = spool.path();
  } else if (!(reason = input_problem(path)).empty()) {
    report(job.display, "cannot open (" + reason + ")");
    return false;
  }
  if (job.output != "-" && same_file(path, job.output)) {
    report(job.output, "is the input file; not replaced");
    return false;
  }
  if (!settings.overwrite && OutputTarget::is_existing_file(job.output)) {
    report(job.output, "exists; not replaced (use -y to overwrite)");
    return false;
  }

  ModuleInput input(api);
  std::string decoder_messages;
  if (!foreign_audio_kind(path).empty() || !input.open(path, decoder_messages)) {
    report(job.display, not_mpeg_reason(path));
    if (settings.verbose && !decoder_messages.empty()) std::fputs(decoder_messages.c_str(), stderr);
    return false;
  }
  // With no option of the word on the command line (word 0) the module applies the word the
  // options dialog stored, as in the editor.
  const int width = input.apply_options(settings.option_word());
  const uint32_t word = input.option_word();
  StreamInfo info{};
  uint64_t frames = 0;
  // The length for the progress display; the walk over the headers also tells where the
  // stream changes its rate, which is where the module's reads end.
  StreamWalk walk;
  const double total_seconds =
      describe_stream(path, info, frames, &walk) ? info.duration_ms / 1000.0 : 0.0;

  bool refused = false;
  std::unique_ptr<OutputTarget> target =
      OutputTarget::open(job.output, settings.overwrite, reason, refused);
  if (!target) {
    report(job.output, reason);
    return false;
  }
  AudioLayout layout;
  layout.sample_rate = input.sample_rate();
  layout.channels = input.channels();
  layout.encoding = width == 32 ? SampleEncoding::kFloat32 : SampleEncoding::kInt16;
  std::unique_ptr<AudioWriter> writer = make_audio_writer(job.type, target->fd(), layout, reason);
  if (!writer) {
    report(job.output, "write failed (" + reason + ")");
    return false;
  }

  ProgressDisplay progress(stderr, show_progress, job.display, total_seconds);
  const double samples_per_second = static_cast<double>(input.sample_rate()) * input.channels();
  uint64_t samples = 0;
  bool ok = true;
  const size_t block_bytes = input.block_bytes();
  while (const uint32_t count = input.read_frame(writer->space(block_bytes))) {
    if (!(ok = writer->write(count))) break;
    samples += count;
    progress.update(static_cast<double>(samples) / samples_per_second);
  }
  ok = writer->finish() && ok;
  progress.finish();
  input.close();
  if (!ok) {
    report(job.output, "write failed (" + writer->error() + ")");
    return false;
  }
  if (!target->commit(reason, refused)) {
    report(job.output, reason);
    return false;
  }
  if (settings.verbose) print_summary(job, input, word, samples, progress.elapsed_seconds());
  if (walk.changed_rate != 0) {
    // What came before the change is whole and kept; the rest is not decoded.
    report(job.display, rate_change_text(walk));
    return false;
  }
  return true;
}

}  // namespace mpegin::mpegdec
