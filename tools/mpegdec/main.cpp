// mpegdec: a command-line host for the mpeginput module.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decode_job.h"
#include "job_runner.h"
#include "messages.h"
#include "module_api.h"
#include "option_word.h"
#include "output_target.h"
#include "platform/posix/private_profile.h"
#include "settings.h"
#include "stdin_memory.h"
#include "stream_report.h"
#include "temp_files.h"

using namespace mpegin::mpegdec;

namespace {

constexpr const char* kProfileName = "zazave.ini";   // where the module stores its options

int run_options_dialog(const ModuleApi& api, const Settings& settings) {
  // The module shows its dialog as a text form on the terminal (or as MPEGIN_DIALOG says).
  const char* dialog = std::getenv("MPEGIN_DIALOG");
  if ((dialog == nullptr || *dialog == '\0') && !(isatty(STDIN_FILENO) && isatty(STDERR_FILENO))) {
    std::fprintf(stderr, "mpegdec: --options needs a terminal\n");
    return 2;
  }
  errno = 0;
  const uint32_t word = api.get_options(nullptr, api.library, 0, 0, 0, 0);
  const int store_error = errno;   // the module's word on storing the choice
  if (word == 0) {
    if (!settings.quiet) std::fprintf(stderr, "mpegdec: options unchanged\n");
    return 0;
  }
  if (store_error != 0) {
    report(mpegin::platform::posix::profile_path(kProfileName),
           "cannot store the options " + std::to_string(word) + " (" + describe_word(word) +
               "): " + std::strerror(store_error));
    return 1;
  }
  if (!settings.quiet) {
    std::fprintf(stderr, "mpegdec: stored options %u: %s\n", word, describe_word(word).c_str());
  }
  return 0;
}

int print_info(const ModuleApi& api, const Settings& settings) {
  int status = 0;
  std::vector<std::string> json;
  for (const std::string& input : settings.inputs) {
    const std::string name = input == "-" ? "standard input" : input;
    StdinInMemory held;
    std::string problem;
    if (input == "-") {
      if (!held.fill(problem)) problem = "cannot open (" + problem + ")";
    } else if (!(problem = input_problem(input)).empty()) {
      problem = "cannot open (" + problem + ")";
    }
    if (!problem.empty()) {
      report(name, problem);
      status = 1;
      continue;
    }
    StreamReport stream;
    std::string reason;
    if (!read_stream_report(api, input == "-" ? held.path() : input, stream, reason)) {
      report(name, reason);
      status = 1;
      continue;
    }
    stream.file = name;
    if (settings.json) {
      json.push_back(format_report_json(stream));
    } else {
      std::fputs(format_report_text(stream).c_str(), stdout);
    }
  }
  if (settings.json) {
    // One object for one input, an array for several.
    if (settings.inputs.size() == 1) {
      if (!json.empty()) std::printf("%s\n", json.front().c_str());
    } else {
      std::printf("[");
      for (size_t i = 0; i < json.size(); ++i) std::printf("%s\n  %s", i ? "," : "", json[i].c_str());
      std::printf("\n]\n");
    }
  }
  if (std::fflush(stdout) != 0) {
    report("standard output", std::string("write failed (") + std::strerror(errno) + ")");
    status = 1;
  }
  return status;
}

int decode_all(const ModuleApi& api, const Settings& settings) {
  std::vector<DecodeJob> jobs;
  std::string error;
  if (!plan_jobs(settings, jobs, error)) {
    std::fprintf(stderr, "mpegdec: %s\n", error.c_str());
    return 2;
  }
  // A signal ends every decode at once, in this process and in those started for -j.
  install_cleanup_handlers();
  const bool terminal = !settings.quiet && isatty(STDERR_FILENO);
  set_progress_shown(terminal);
  if (settings.jobs <= 1 || jobs.size() <= 1) {
    int status = 0;
    for (const DecodeJob& job : jobs) {
      if (!run_job(api, settings, job, terminal)) status = 1;
    }
    return status;
  }
  auto task = [&](size_t i) { return run_job(api, settings, jobs[i], false); };
  auto done = [&](size_t index, pid_t pid, int signal_number, size_t finished) {
    if (terminal) std::fprintf(stderr, "\r\033[K");
    if (signal_number != 0) {
      // A process killed by a signal it could not handle left its temporary files.
      OutputTarget::remove_left_by(pid, jobs[index].output);
      report(jobs[index].display, std::string("decoding ended by signal ") +
                                      std::to_string(signal_number) + " (" +
                                      strsignal(signal_number) + ")");
    }
    if (terminal && finished < jobs.size()) {
      std::fprintf(stderr, "%zu of %zu files done", finished, jobs.size());
    }
    std::fflush(stderr);
  };
  const size_t failed = run_in_processes(jobs.size(), settings.jobs, task, done);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  const int parsed = parse_command_line(argc, argv, settings);
  if (parsed >= 0) return parsed;

  ModuleApi api;
  std::string error;
  if (!load_module(api, error)) {
    std::fprintf(stderr, "mpegdec: cannot load the input module: %s\n", error.c_str());
    return 1;
  }
  if (settings.run_options) {
    const int status = run_options_dialog(api, settings);
    if (status != 0 || settings.inputs.empty()) return status;
  }
  return settings.info ? print_info(api, settings) : decode_all(api, settings);
}
