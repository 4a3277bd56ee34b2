// The description of a stream that --info prints: the module's own text plus everything the
// decoder's StreamInfo holds and the estimated frame count.
#pragma once

#include <cstdint>
#include <string>

#include "decoder/stream_info.h"
#include "module_api.h"

namespace mpegin::mpegdec {

struct StreamReport {
  std::string file;
  std::string description;   // FilterOptionsString's text
  StreamInfo info{};
  uint64_t frames = 0;
};

// Opens the file through the module (for its text) and reads its first frame header (for the
// StreamInfo). False with a reason when it holds no MPEG audio.
bool read_stream_report(const ModuleApi& api, const std::string& path, StreamReport& report,
                        std::string& reason);

// Reads only the StreamInfo and frame count, from the first frame header.
bool describe_stream(const std::string& path, StreamInfo& info, uint64_t& frames);

const char* mode_name(int mode);
std::string format_report_text(const StreamReport& report);
std::string format_report_json(const StreamReport& report);
std::string json_string(const std::string& text);

}  // namespace mpegin::mpegdec
