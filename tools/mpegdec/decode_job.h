// One input decoded to one output: where it goes, and the decode itself.
#pragma once

#include <string>
#include <vector>

#include "audio_writer.h"
#include "module_api.h"
#include "settings.h"

namespace mpegin::mpegdec {

struct DecodeJob {
  std::string input;     // as given; "-" is standard input
  std::string display;   // the input's name in messages
  std::string output;    // a path, or "-" for standard output
  FileType type = FileType::kWav;
};

// Works out every input's output. False with a message for a command line that cannot
// be carried out (a usage error).
bool plan_jobs(const Settings& settings, std::vector<DecodeJob>& jobs, std::string& error);

// Decodes one input through the module. Failures are reported on standard error, one line
// naming the file and the reason; returns true when the output is complete.
bool run_job(const ModuleApi& api, const Settings& settings, const DecodeJob& job,
             bool show_progress);

// Why a named input cannot be read, or an empty string when it can.
std::string input_problem(const std::string& path);
// Why a readable input was refused by the module.
std::string not_mpeg_reason(const std::string& path);

}  // namespace mpegin::mpegdec
