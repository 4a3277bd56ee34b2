#include "settings.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>

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

}  // namespace

uint32_t Settings::option_word() const {
  if (!bits && !gain_db && !dither) return 0;
  return compose_option_word(bits.value_or(16), gain_db.value_or(0.0), dither);
}

int parse_command_line(int argc, char** argv, Settings& settings) {
  CLI::App app{"mpegdec: decode MPEG-1 and MPEG-2 LSF audio (Layers I, II and III) through the "
               "mpeginput module to WAV, FLAC, AIFF, W64 or raw samples.",
               "mpegdec"};
  app.footer(kExamples);
  app.set_version_flag("-V,--version", std::string("mpegdec ") + MPEGDEC_VERSION);
  app.get_formatter()->column_width(30);

  std::string type_name;
  std::string format_name;
  std::string gain_text;
  int bits = 0;
  app.add_option("inputs", settings.inputs, "MPEG audio files to decode ('-' reads standard input)");
  app.add_option("-o,--output", settings.output,
                 "Output file (one input) or directory (several); '-' writes raw samples to "
                 "standard output. Default: next to each input, with the format's extension")
      ->type_name("PATH");
  app.add_option("-t,--type", type_name,
                 "Output file type when the output name does not tell it: wav, flac, aiff, w64 "
                 "or raw (default wav)")
      ->type_name("TYPE");
  app.add_flag("--raw", settings.raw, "Write raw interleaved little-endian samples, no header");
  app.add_option("--format", format_name,
                 "Sample format: s16 (16-bit integers) or f32 (32-bit floats, full scale 1.0)")
      ->type_name("FMT");
  app.add_option("-b,--bits", bits, "Sample width: 16 (integers) or 32 (floats)")
      ->check(CLI::IsMember({16, 32}).description(""))
      ->type_name("16|32");
  app.add_option("-g,--gain", gain_text, "Scale by DB decibels, -199 to 200 (default 0)")
      ->type_name("DB");
  app.add_flag("-d,--dither", settings.dither, "Dither 16-bit output with triangular noise");
  app.add_flag("-i,--info", settings.info, "Describe each stream instead of decoding it");
  app.add_flag("--json", settings.json, "With --info: print the description as JSON");
  app.add_flag("--options", settings.run_options,
               "Run the options dialog and store the chosen options as the default");
  app.add_flag("-q,--quiet", settings.quiet, "Print nothing but errors");
  app.add_flag("-v,--verbose", settings.verbose, "Print a summary line per file");
  app.add_flag("-y,--overwrite", settings.overwrite, "Replace existing output files");
  app.add_option("-j,--jobs", settings.jobs, "Decode up to N inputs at once (one process each)")
      ->check(CLI::Range(1, 256).description(""))
      ->type_name("N");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForVersion&) {
    std::cout << app.version() << "\n";
    return 0;
  } catch (const CLI::ParseError& error) {
    return usage_error(error.what());
  }

  if (!type_name.empty()) {
    FileType type;
    if (!file_type_from_name(type_name, type)) return usage_error("unknown type '" + type_name + "'");
    settings.type = type;
  }
  if (app.count("--bits") > 0) settings.bits = bits;
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
  if (app.count("--gain") > 0) {
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
