// The description of a stream that --info prints: the module's own text plus everything the
// decoder's StreamInfo holds and the estimated frame count.
#pragma once

#include <cstdint>
#include <string>

#include "bitstream/vbr_header.h"
#include "decoder/stream_info.h"
#include "file_tags.h"
#include "decoder/stream_walk.h"
#include "module_api.h"

namespace mpegin::mpegdec {

struct StreamReport {
  std::string file;
  std::string description;   // FilterOptionsString's text
  StreamInfo info{};           // the duration is the gapless length when the tag gives one
  uint64_t frames = 0;
  EncoderTag encoder;          // the encoder's extension of the information frame
  uint64_t samples = 0;        // per channel: exact with a trusted encoder tag, else estimated
  uint64_t whole_samples = 0;  // per channel in whole frames
  bool gapless = false;        // samples is the encoder's length, delay and padding cut
  FileTags tags;
  StreamWalk walk;      // what the walk over the headers found
  bool walked = false;
};

// Opens the file through the module (for its text) and reads its first frame header (for the
// StreamInfo). False with a reason when it holds no MPEG audio.
bool read_stream_report(const ModuleApi& api, const std::string& path, StreamReport& report,
                        std::string& reason);

// Reads only the StreamInfo and frame count, as the module describes the stream: from the
// first frame header and a walk over the headers (exact count, largest channel count); the
// duration is the gapless length when the encoder tag gives one. With `report`, its encoder,
// sample and walk fields are filled too.
bool describe_stream(const std::string& path, StreamInfo& info, uint64_t& frames,
                     StreamReport* report = nullptr);

// The decoder's own message for a file the module refused, read through the library as the
// module's open reads it: "Error opening file: NAME" or "Unknown sample frequency!"; empty
// when it has none.
std::string decoder_refusal_message(const std::string& path);

// "m:ss.mmm"
std::string format_duration(double seconds);
// The line that says where a stream changes its rate and decoding ends, e.g. "stream changes
// to 48000 Hz at 0:10.004; decoded up to there".
std::string rate_change_text(const StreamWalk& walk);

const char* mode_name(int mode);
std::string format_report_text(const StreamReport& report);
std::string format_report_json(const StreamReport& report);
std::string json_string(const std::string& text);

}  // namespace mpegin::mpegdec
