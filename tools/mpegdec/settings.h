// What the command line asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio_writer.h"

namespace mpegin::mpegdec {

struct Settings {
  std::vector<std::string> inputs;
  std::string output;                 // -o; empty: next to each input
  bool raw = false;                   // --raw (or -o -)
  std::optional<FileType> type;       // --type
  std::optional<int> bits;            // --bits, or implied by --format
  std::optional<double> gain_db;      // --gain
  bool dither = false;
  bool whole_frames = false;          // --no-gapless
  bool info = false;
  bool json = false;
  bool run_options = false;
  bool quiet = false;
  bool verbose = false;
  bool overwrite = false;
  int jobs = 1;
  int threads = 0;                    // -T; 0: the cores, shared among the jobs

  // The OptionWord given on the command line, or 0 when no option of the word was given
  // (the stored options then apply); with --no-gapless the whole-frames bit is added either way.
  uint32_t option_word() const;
  // Threads for one input that is not standard input: -T, else the cores shared among -j's jobs.
  int threads_for_input() const;
};

// Parses the command line. Returns -1 to go on, otherwise the exit status to end with
// (0 after --help or --version, 2 for a usage error, with the message printed).
int parse_command_line(int argc, char** argv, Settings& settings);

}  // namespace mpegin::mpegdec
