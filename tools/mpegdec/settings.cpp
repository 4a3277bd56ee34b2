#include "settings.h"

#include <getopt.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "option_word.h"

namespace mpegin::mpegdec {

namespace {

constexpr const char* kExamples = R"(
Examples:
  mpegdec song.mp3                      decode to song.wav (16-bit) next to the input
  mpegdec -o song.flac song.mp3         decode to FLAC
  mpegdec --info --json song.mp3        describe the stream as JSON
  mpegdec --bits 32 --gain -3 a.mp2     32-bit float WAV, 3 dB quieter
  mpegdec --dither -o out.aiff a.mp1    16-bit AIFF with triangular dither
  mpegdec --raw --format f32 -o - a.mp3 | aplay -f FLOAT_LE -c 2 -r 44100
  cat a.mp3 | mpegdec -o a.wav -        read from standard input
  mpegdec -j 4 -t flac -o out/ music/*.mp3
                                        decode a folder to FLAC, four at a time
  mpegdec --options                     choose and store the default options

Exit status: 0 when every input was decoded, 1 when some input failed, 2 for a usage error.
Environment: MPEGIN_MODULE names the input module to load (libmpeginput.so).
)";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "mpegdec: %s\nTry 'mpegdec --help' for more information.\n",
               message.c_str());
  return 2;
}

constexpr const char* kHelp =
    "mpegdec: decode MPEG-1 and MPEG-2 LSF audio (Layers I, II and III) through the mpeginput\n"
    "module to WAV, FLAC, AIFF, W64 or raw samples.\n"
    "\n"
    "Usage: mpegdec [OPTIONS] INPUT...\n"
    "       mpegdec --info [--json] INPUT...\n"
    "       mpegdec --options\n"
    "\n"
    "  INPUT                  MPEG audio files to decode ('-' reads standard input)\n"
    "\n"
    "Options:\n"
    "  -h, --help             Print this help message and exit\n"
    "  -V, --version          Print the version and exit\n"
    "  -o, --output PATH      Output file (one input) or directory (several); '-' writes raw\n"
    "                         samples to standard output. Default: next to each input, with\n"
    "                         the type's extension\n"
    "  -t, --type TYPE        Output file type when the output name does not tell it: wav,\n"
    "                         flac, aiff, w64 or raw (default wav)\n"
    "      --raw              Write raw interleaved little-endian samples, no header\n"
    "      --format FMT       Sample format: s16 (16-bit integers) or f32 (32-bit floats,\n"
    "                         full scale 1.0)\n"
    "  -b, --bits 16|32       Sample width: 16 (integers) or 32 (floats)\n"
    "  -g, --gain DB          Scale by DB decibels, -199 to 200 (default 0)\n"
    "  -d, --dither           Dither 16-bit output with triangular noise\n"
    "      --no-gapless       Keep whole frames: no cut to the length an encoder tag gives\n"
    "  -i, --info             Describe each stream instead of decoding it\n"
    "      --json             With --info: print the description as JSON\n"
    "      --options          Run the options dialog and store the chosen options as the\n"
    "                         default\n"
    "  -q, --quiet            Print nothing but errors\n"
    "  -v, --verbose          Print a summary line per file\n"
    "  -y, --overwrite        Replace existing output files\n"
    "  -j, --jobs N           Decode up to N inputs at once (one process each)\n"
    "  -T, --threads N        Decode each input on N threads (default: the cores, divided\n"
    "                         among the jobs of -j; standard input uses one)\n";

// Long options without a short form.
enum : int { kRawOption = 256, kFormatOption, kJsonOption, kOptionsOption, kNoGaplessOption };

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},          {"version", no_argument, nullptr, 'V'},
    {"output", required_argument, nullptr, 'o'},  {"type", required_argument, nullptr, 't'},
    {"raw", no_argument, nullptr, kRawOption},    {"format", required_argument, nullptr, kFormatOption},
    {"bits", required_argument, nullptr, 'b'},    {"gain", required_argument, nullptr, 'g'},
    {"dither", no_argument, nullptr, 'd'},        {"info", no_argument, nullptr, 'i'},
    {"json", no_argument, nullptr, kJsonOption},  {"options", no_argument, nullptr, kOptionsOption},
    {"quiet", no_argument, nullptr, 'q'},         {"verbose", no_argument, nullptr, 'v'},
    {"overwrite", no_argument, nullptr, 'y'},     {"jobs", required_argument, nullptr, 'j'},
    {"threads", required_argument, nullptr, 'T'},
    {"no-gapless", no_argument, nullptr, kNoGaplessOption},
    {nullptr, 0, nullptr, 0}};

// A whole decimal number in [low, high].
bool parse_count(const char* text, long low, long high, int& value) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || n < low || n > high) return false;
  value = static_cast<int>(n);
  return true;
}

// The option as the user wrote it, for messages.
std::string option_text(int argc, char** argv, int index) {
  if (index <= 0 || index > argc) return "?";
  std::string text = argv[index - 1];
  const size_t equals = text.find('=');
  return text.rfind("--", 0) == 0 && equals != std::string::npos ? text.substr(0, equals) : text;
}

}  // namespace

uint32_t Settings::option_word() const {
  const uint32_t frames = whole_frames ? kWholeFramesBit : 0;
  if (!bits && !gain_db && !dither) return frames;
  return compose_option_word(bits.value_or(16), gain_db.value_or(0.0), dither) | frames;
}

int Settings::threads_for_input() const {
  if (threads > 0) return threads;
  // Processor cores this process may run on, shared among the jobs.
  int cores = static_cast<int>(std::thread::hardware_concurrency());
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) cores = CPU_COUNT(&set);
  return std::max(1, cores / std::max(1, jobs));
}

int parse_command_line(int argc, char** argv, Settings& settings) {
  std::string type_name;
  std::string format_name;
  std::string gain_text;
  bool gain_given = false;
  optind = 1;
  opterr = 0;   // the messages below say it in mpegdec's words
  for (;;) {
    const int previous = optind;
    const int c = getopt_long(argc, argv, ":hVo:t:b:g:diqvyj:T:", kLongOptions, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'h': std::fputs(kHelp, stdout); std::fputs(kExamples, stdout); return 0;
      case 'V': std::printf("mpegdec %s\n", MPEGDEC_VERSION); return 0;
      case 'o': settings.output = optarg; break;
      case 't': type_name = optarg; break;
      case kRawOption: settings.raw = true; break;
      case kFormatOption: format_name = optarg; break;
      case 'b': {
        int bits = 0;
        if (!parse_count(optarg, 16, 32, bits) || (bits != 16 && bits != 32)) {
          return usage_error("--bits: " + std::string(optarg) + " is not 16 or 32");
        }
        settings.bits = bits;
        break;
      }
      case 'g': gain_text = optarg; gain_given = true; break;
      case 'd': settings.dither = true; break;
      case 'i': settings.info = true; break;
      case kJsonOption: settings.json = true; break;
      case kOptionsOption: settings.run_options = true; break;
      case kNoGaplessOption: settings.whole_frames = true; break;
      case 'q': settings.quiet = true; break;
      case 'v': settings.verbose = true; break;
      case 'y': settings.overwrite = true; break;
      case 'j':
        if (!parse_count(optarg, 1, 256, settings.jobs)) {
          return usage_error("--jobs: " + std::string(optarg) + " is not in 1 to 256");
        }
        break;
      case 'T':
        if (!parse_count(optarg, 1, 256, settings.threads)) {
          return usage_error("--threads: " + std::string(optarg) + " is not in 1 to 256");
        }
        break;
      case ':':
        return usage_error(option_text(argc, argv, optind > previous ? optind : previous + 1) +
                           " needs a value");
      default: {
        const std::string text = optopt != 0 && optopt < 256 ? std::string("-") + static_cast<char>(optopt)
                                                               : option_text(argc, argv, optind);
        return usage_error("unknown option " + text);
      }
    }
  }
  for (int i = optind; i < argc; ++i) settings.inputs.emplace_back(argv[i]);

  if (!type_name.empty()) {
    FileType type;
    if (!file_type_from_name(type_name, type)) return usage_error("unknown type '" + type_name + "'");
    settings.type = type;
  }
  if (!format_name.empty()) {
    int implied;
    if (format_name == "s16" || format_name == "s16le") {
      implied = 16;
    } else if (format_name == "f32" || format_name == "f32le") {
      implied = 32;
    } else {
      return usage_error("unknown sample format '" + format_name + "' (use s16 or f32)");
    }
    if (settings.bits && *settings.bits != implied) {
      return usage_error("--format " + format_name + " contradicts --bits " +
                         std::to_string(*settings.bits));
    }
    settings.bits = implied;
  }
  if (gain_given) {
    double db = 0.0;
    std::string reason;
    if (!parse_gain_db(gain_text, db, reason)) return usage_error(reason);
    settings.gain_db = db;
  }
  if (settings.dither && settings.bits.value_or(16) != 16) {
    return usage_error("--dither applies to 16-bit output only");
  }
  if (settings.quiet && settings.verbose) return usage_error("--quiet and --verbose exclude each other");
  if (settings.json) settings.info = true;
  if (settings.output == "-") settings.raw = true;
  if (settings.raw) settings.type = FileType::kRaw;

  if (settings.inputs.empty() && !settings.run_options) return usage_error("no input files");
  if (std::count(settings.inputs.begin(), settings.inputs.end(), "-") > 1) {
    return usage_error("standard input can be read only once");
  }
  if (settings.output == "-" && settings.inputs.size() > 1) {
    return usage_error("standard output takes one input only");
  }
  return -1;
}

}  // namespace mpegin::mpegdec
