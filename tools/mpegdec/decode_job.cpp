#include "decode_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <strings.h>

#include "container_sniff.h"
#include "messages.h"
#include "module_input.h"
#include "option_word.h"
#include "output_target.h"
#include "parallel_input.h"
#include "progress_display.h"
#include "stdin_input.h"
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

bool names_mpeg_audio(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  const std::string extension = path.substr(dot + 1);
  return extension.size() == 3 && strncasecmp(extension.c_str(), "mp", 2) == 0 && extension[2] >= '1' &&
         extension[2] <= '3';
}

// The type written to an output named on the command line: the one its extension names, else
// --type (or --raw), else WAV. An extension that contradicts --type or --raw is refused, and so
// is one of MPEG audio, which mpegdec reads but does not write.
bool type_of_output_name(const Settings& settings, const std::string& output, FileType& type,
                         std::string& error) {
  FileType named;
  if (names_mpeg_audio(output)) {
    error = "'" + output + "' names MPEG audio, which mpegdec does not write; use .wav, .flac, " +
            ".aiff, .aif, .w64, .raw or .pcm";
    return false;
  }
  if (!file_type_from_extension(output, named)) {
    type = settings.type.value_or(FileType::kWav);
    return true;
  }
  if (settings.type && *settings.type != named) {
    const std::string option =
        settings.raw ? std::string("--raw") : "--type " + std::string(extension_of(*settings.type));
    error = option + " contradicts the output name '" + output + "', which names " +
            extension_of(named) + "; change one of them";
    return false;
  }
  type = named;
  return true;
}

void print_summary(const DecodeJob& job, int rate, int channels, uint32_t word, uint64_t samples,
                   double elapsed, int threads) {
  const double seconds =
      channels > 0 && rate > 0 ? static_cast<double>(samples) / channels / rate : 0.0;
  char text[160];
  const std::string on_threads = threads > 1 ? ", on " + std::to_string(threads) + " threads" : "";
  std::snprintf(text, sizeof text, ": %.2f s of audio, %d Hz, %d channel%s, %s%s, in %.2f s (%.0fx)",
                seconds, rate, channels, channels == 1 ? "" : "s", describe_word(word).c_str(),
                on_threads.c_str(), elapsed, elapsed > 0.0 ? seconds / elapsed : 0.0);
  message_line("mpegdec: " + job.display + " -> " +
               (job.output == "-" ? std::string("standard output") : job.output) + text);
}

std::string clock_at(uint64_t samples, const MpegStreamEvents& events) {
  return format_duration(events.sample_rate > 0 ? static_cast<double>(samples) / events.sample_rate : 0.0);
}

// "2 damaged frames concealed, first at 0:04.180"; empty when there were none.
std::string concealed_text(const MpegStreamEvents& events) {
  if (events.concealed_frames == 0) return {};
  const uint32_t n = events.concealed_frames;
  return std::to_string(n) + (n == 1 ? " damaged frame" : " damaged frames") + " concealed, first at " +
         clock_at(events.first_concealed_sample, events);
}

// "stream changes to Layer 3, 1 channel at 0:10.031" (what differs from the first frame); empty
// when the layer and the channel count held.
std::string format_change_text(const MpegStreamEvents& events) {
  if (events.format_change_layer == 0) return {};
  std::string what;
  if (events.format_change_layer != events.first_layer)
    what = "Layer " + std::to_string(events.format_change_layer);
  if (events.format_change_channels != events.first_channels) {
    if (!what.empty()) what += ", ";
    what += std::to_string(events.format_change_channels) +
            (events.format_change_channels == 1 ? " channel" : " channels");
  }
  return "stream changes to " + what + " at " + clock_at(events.format_change_sample, events);
}

// Both of the above, for the progress line.
std::string events_note(const MpegStreamEvents& events) {
  const std::string concealed = concealed_text(events);
  const std::string changed = format_change_text(events);
  return concealed.empty() || changed.empty() ? concealed + changed : concealed + "; " + changed;
}

}  // namespace

std::string input_problem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  // The module reads files on disk only; a pipe would also make the open wait for a writer
  // (standard input, "-", is decoded as a stream).
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
  const std::string& output = settings.output;
  const bool several = settings.inputs.size() > 1;
  const bool into_directory =
      !output.empty() && output != "-" && (several || output.back() == '/' || is_directory(output));
  if (into_directory && !is_directory(output)) {
    FileType named;
    struct stat st {};
    if (stat(output.c_str(), &st) == 0) {
      error = "output '" + output + "' is not a directory, but there are several inputs";
      return false;
    }
    if (file_type_from_extension(output, named) || names_mpeg_audio(output)) {
      error = "output '" + output + "' names a file, but there are several inputs; give a directory";
      return false;
    }
  }
  std::set<std::string> outputs;
  for (const std::string& input : settings.inputs) {
    DecodeJob job;
    job.input = input;
    job.display = input == "-" ? "standard input" : input;
    job.type = default_type;
    if (output == "-" || (output.empty() && input == "-")) {
      job.output = "-";
      job.type = FileType::kRaw;
      if (isatty(STDOUT_FILENO)) {
        error = "refusing to write audio samples to a terminal; use -o FILE";
        return false;
      }
    } else if (into_directory) {
      job.output = output_in_directory(output, job);
    } else if (!output.empty()) {
      job.output = output;
      if (!type_of_output_name(settings, output, job.type, error)) return false;
    } else {
      job.output = strip_extension(input) + "." + extension_of(job.type);
    }
    if (job.output != "-" && !outputs.insert(job.output).second) {
      error = "two inputs would be written to '" + job.output + "'";
      return false;
    }
    jobs.push_back(job);
  }
  // Created only now, so that a refused command line leaves nothing behind.
  if (into_directory && !is_directory(output) && mkdir(output.c_str(), 0777) != 0) {
    error = "cannot create the output directory '" + output + "' (" + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

namespace {

// Whether standard input is the regular file `output` names (standard output for "-"): such
// a decode would replace, or with standard output appended to it never stop reading, its input.
bool stdin_is_output(const std::string& output) {
  struct stat in {}, out {};
  if (fstat(STDIN_FILENO, &in) != 0 || !S_ISREG(in.st_mode)) return false;
  const int found = output == "-" ? fstat(STDOUT_FILENO, &out) : stat(output.c_str(), &out);
  return found == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// A file through the module, with the options applied as in the editor.
std::unique_ptr<DecodedInput> open_file(const ModuleApi& api, const Settings& settings, const DecodeJob& job) {
  const bool foreign = !foreign_audio_kind(job.input).empty();
  // On several threads through the library where the stream allows it. The module is not
  // opened then: its decoder would only add to the memory of the threads' decoders.
  const int threads = settings.threads_for_input();
  if (threads > 1 && !foreign) {
    auto parallel = std::make_unique<ParallelInput>(settings.option_word());
    if (parallel->open(job.input, threads)) return parallel;
  }
  auto input = std::make_unique<ModuleInput>(api);
  if (foreign || !input->open(job.input)) {
    report(job.display, not_mpeg_reason(job.input));
    if (settings.verbose) {
      const std::string decoder_message = decoder_refusal_message(job.input);
      if (!decoder_message.empty()) message_line(decoder_message);
    }
    return nullptr;
  }
  // With no option of the word on the command line (word 0) the module applies the word the
  // options dialog stored, as in the editor.
  input->apply_options(settings.option_word());
  return input;
}

// Standard input through the library, delivered as the module would deliver it.
std::unique_ptr<DecodedInput> open_stdin(const Settings& settings, const DecodeJob& job) {
  auto input = std::make_unique<StdinInput>(settings.option_word());
  std::string reason, decoder_message;
  switch (input->open(reason, decoder_message)) {
    case StdinInput::Opened::kOk: return input;
    case StdinInput::Opened::kCannotRead: report(job.display, "cannot open (" + reason + ")"); break;
    case StdinInput::Opened::kNotMpeg:
      report(job.display, reason);
      if (settings.verbose && !decoder_message.empty()) message_line(decoder_message);
      break;
  }
  return nullptr;
}

bool decode(std::unique_ptr<DecodedInput> input, const Settings& settings, const DecodeJob& job,
            bool show_progress) {
  const int rate = input->sample_rate();
  const int channels = input->channels();
  const uint32_t word = input->option_word();
  const int threads = input->threads();
  std::string reason;
  bool refused = false;
  std::unique_ptr<OutputTarget> target =
      OutputTarget::open(job.output, settings.overwrite, reason, refused);
  if (!target) {
    report(job.output, reason);
    return false;
  }
  AudioLayout layout;
  layout.sample_rate = rate;
  layout.channels = channels;
  layout.encoding = input->width() == 32 ? SampleEncoding::kFloat32 : SampleEncoding::kInt16;
  std::unique_ptr<AudioWriter> writer = make_audio_writer(job.type, target->fd(), layout, reason);
  if (!writer) {
    report(job.output, "write failed (" + reason + ")");
    return false;
  }

  // A file's length is known from the module's walk at open; a stream's is not.
  ProgressDisplay progress(stderr, show_progress, job.display, input->expected_seconds());
  const double samples_per_second = static_cast<double>(rate) * channels;
  uint64_t samples = 0;
  bool ok = true;
  const size_t block_bytes = input->block_bytes();
  MpegStreamEvents events{};
  uint32_t noted_concealed = 0;
  int32_t noted_layer = 0;
  const void* held = nullptr;
  while (const uint32_t count = input->read(writer->space(block_bytes), held)) {
    if (!(ok = held != nullptr ? writer->write_from(held, count) : writer->write(count))) break;
    samples += count;
    if (show_progress && input->events(events) &&
        (events.concealed_frames != noted_concealed || events.format_change_layer != noted_layer)) {
      noted_concealed = events.concealed_frames;
      noted_layer = events.format_change_layer;
      progress.set_note(events_note(events));
    }
    progress.update(static_cast<double>(samples) / samples_per_second);
  }
  input->events(events);   // before the close, which forgets them
  const std::string failure = input->failure();
  input.reset();
  ok = writer->finish() && ok;
  progress.finish();
  if (!ok) {
    report(job.output, "write failed (" + writer->error() + ")");
    return false;
  }
  if (!failure.empty()) {
    report(job.display, failure);
    return false;
  }
  if (!target->commit(reason, refused)) {
    report(job.output, reason);
    return false;
  }
  if (settings.verbose) {
    print_summary(job, rate, channels, word, samples, progress.elapsed_seconds(), threads);
    for (const std::string& line : {concealed_text(events), format_change_text(events)})
      if (!line.empty()) report(job.display, line);
  }
  if (events.changed_rate != 0) {
    // What came before the change is whole and kept; the rest is not decoded.
    report(job.display, "stream changes to " + std::to_string(events.changed_rate) + " Hz at " +
                            clock_at(events.decoded_samples, events) + "; decoded up to there");
    return false;
  }
  return true;
}

}  // namespace

bool run_job(const ModuleApi& api, const Settings& settings, const DecodeJob& job,
             bool show_progress) {
  const bool from_stdin = job.input == "-";
  std::string reason;
  if (!from_stdin && !(reason = input_problem(job.input)).empty()) {
    report(job.display, "cannot open (" + reason + ")");
    return false;
  }
  if (from_stdin ? stdin_is_output(job.output) : job.output != "-" && same_file(job.input, job.output)) {
    report(job.output == "-" ? "standard output" : job.output, "is the input file; not replaced");
    return false;
  }
  if (!settings.overwrite && OutputTarget::is_existing_file(job.output)) {
    report(job.output, "exists; not replaced (use -y to overwrite)");
    return false;
  }
  std::unique_ptr<DecodedInput> input =
      from_stdin ? open_stdin(settings, job) : open_file(api, settings, job);
  return input != nullptr && decode(std::move(input), settings, job, show_progress);
}

}  // namespace mpegin::mpegdec
