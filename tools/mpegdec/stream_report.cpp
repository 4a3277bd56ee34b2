#include "stream_report.h"

#include <cstdio>

#include "container_sniff.h"
#include "decode_job.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "decoder/stream_description.h"
#include "messages.h"
#include "module_input.h"

namespace mpegin::mpegdec {

namespace {

std::string one_line(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " ");
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

const char* yes_no(int32_t flag) { return flag ? "yes" : "no"; }
const char* json_bool(int32_t flag) { return flag ? "true" : "false"; }

}  // namespace

std::string format_duration(double seconds) {
  if (!(seconds >= 0.0)) seconds = 0.0;
  const long long millis = static_cast<long long>(seconds * 1000.0 + 0.5);
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", millis / 60000, millis / 1000 % 60, millis % 1000);
  return text;
}

std::string rate_change_text(const StreamWalk& walk) {
  return "stream changes to " + std::to_string(walk.changed_rate) + " Hz at " +
         format_duration(walk.duration_ms() / 1000.0) + "; decoded up to there";
}

const char* mode_name(int mode) {
  switch (mode) {
    case 0: return "stereo";
    case 1: return "joint stereo";
    case 2: return "dual channel";
    case 3: return "single channel";
    default: return "unknown";
  }
}

// From the first frame header alone, as the decoder context describes a stream: mpegdec
// never runs a decoder of its own, so that its process holds only the module's.
bool describe_stream(const std::string& path, StreamInfo& info, uint64_t& frames,
                     StreamWalk* walk_out) {
  StderrCapture capture;
  MpegFileReader reader(path.c_str());
  FrameHeader header;
  Crc16* crc = nullptr;
  uint32_t tagged_frames = 0;
  const bool ok = reader.is_open() && read_first_audio_header(reader, header, crc, tagged_frames);
  if (ok) {
    mpegin::describe_stream(header, reader, tagged_frames, info);
    frames = stream_frame_count(header, reader, tagged_frames);
  }
  reader.close();
  StreamWalk walk;
  if (ok && walk_stream(path.c_str(), walk)) {
    info.channel_count = walk.max_channels;
    frames = walk.frames;
    info.duration_ms = walk.duration_ms();
    if (walk_out != nullptr) *walk_out = walk;
  }
  capture.finish();
  return ok;
}

bool read_stream_report(const ModuleApi& api, const std::string& path, StreamReport& report,
                        std::string& reason) {
  report = StreamReport{};
  report.file = path;
  ModuleInput input(api);
  std::string decoder_messages;
  if (!foreign_audio_kind(path).empty() || !input.open(path, decoder_messages)) {
    reason = not_mpeg_reason(path);
    return false;
  }
  report.description = input.description();
  input.close();
  if (!describe_stream(path, report.info, report.frames, &report.walk)) {
    reason = "not MPEG audio";
    return false;
  }
  report.walked = report.walk.frames != 0;
  return true;
}

namespace {

// "128 kbit/s", or for a stream whose bit rate varies "VBR, average 128.5 kbit/s".
std::string bit_rate_text(const StreamReport& report) {
  if (!report.walked || !report.walk.variable_rate) return report.info.bitrate_text;
  char text[64];
  std::snprintf(text, sizeof text, "VBR, average %.1f kbit/s", report.walk.average_bitrate() / 1000.0);
  return text;
}

// Where the layer or the channel count first changes, e.g. "layer 3, 1 channel at 0:10.031".
std::string format_change_text(const StreamWalk& walk) {
  const double at = walk.sample_rate > 0 ? static_cast<double>(walk.change_samples) / walk.sample_rate : 0.0;
  return "layer " + std::to_string(walk.change_layer) + ", " + std::to_string(walk.change_channels) +
         (walk.change_channels == 1 ? " channel" : " channels") + " at " + format_duration(at);
}

}  // namespace

std::string format_report_text(const StreamReport& report) {
  const StreamInfo& info = report.info;
  char text[2048];
  std::snprintf(text, sizeof text,
                "%s:\n"
                "  %s\n"
                "  version:      %s\n"
                "  layer:        %d\n"
                "  mode:         %s\n"
                "  sample rate:  %d Hz\n"
                "  channels:     %d\n"
                "  bit rate:     %s\n"
                "  frame bytes:  %d\n"
                "  protection:   %s\n"
                "  copyright:    %s\n"
                "  original:     %s\n"
                "  frames:       %llu\n"
                "  duration:     %s (%.1f ms)\n",
                report.file.c_str(), one_line(report.description).c_str(), info.version_text,
                info.layer, mode_name(info.mode), info.sample_rate, info.channel_count,
                bit_rate_text(report).c_str(), info.frame_bytes, info.protected_stream ? "CRC-16" : "none",
                yes_no(info.copyright), yes_no(info.original),
                static_cast<unsigned long long>(report.frames),
                format_duration(info.duration_ms / 1000.0).c_str(), info.duration_ms);
  std::string out = text;
  if (report.walked && report.walk.change_frame != 0)
    out += "  changes to:   " + format_change_text(report.walk) + "\n";
  if (report.walked && report.walk.changed_rate != 0)
    out += "  rate change:  " + rate_change_text(report.walk) + "\n";
  return out;
}

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string format_report_json(const StreamReport& report) {
  const StreamInfo& info = report.info;
  char numbers[1024];
  std::snprintf(numbers, sizeof numbers,
                "\"version\": %d, \"layer\": %d, \"mode\": %d, \"mode_text\": \"%s\", "
                "\"sample_rate\": %d, \"channels\": %d, \"bitrate_index\": %d, ",
                info.version, info.layer, info.mode, mode_name(info.mode), info.sample_rate,
                info.channel_count, info.bitrate_index);
  char tail[768];
  std::snprintf(tail, sizeof tail,
                "\"frame_bytes\": %d, \"protected\": %s, \"copyright\": %s, \"original\": %s, "
                "\"frames\": %llu, \"duration_ms\": %.3f, \"vbr\": %s, \"average_bitrate\": %.0f, ",
                info.frame_bytes, json_bool(info.protected_stream), json_bool(info.copyright),
                json_bool(info.original), static_cast<unsigned long long>(report.frames),
                info.duration_ms, json_bool(report.walked && report.walk.variable_rate),
                report.walk.average_bitrate());
  const StreamWalk& walk = report.walk;
  char changes[256];
  std::snprintf(changes, sizeof changes, "\"format_change\": null, \"rate_change\": null}");
  if (report.walked && (walk.change_frame != 0 || walk.changed_rate != 0)) {
    char format[128] = "null";
    char rate[128] = "null";
    if (walk.change_frame != 0)
      std::snprintf(format, sizeof format, "{\"layer\": %d, \"channels\": %d, \"at_ms\": %.3f}",
                    walk.change_layer, walk.change_channels,
                    static_cast<double>(walk.change_samples) * 1000.0 / walk.sample_rate);
    if (walk.changed_rate != 0)
      std::snprintf(rate, sizeof rate, "{\"sample_rate\": %d, \"at_ms\": %.3f}", walk.changed_rate,
                    walk.duration_ms());
    std::snprintf(changes, sizeof changes, "\"format_change\": %s, \"rate_change\": %s}", format, rate);
  }
  return "{\"file\": " + json_string(report.file) +
         ", \"description\": " + json_string(report.description) +
         ", \"version_text\": " + json_string(info.version_text) + ", " + numbers +
         "\"bitrate_text\": " + json_string(info.bitrate_text) + ", " + tail + changes;
}

}  // namespace mpegin::mpegdec
