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

// "m:ss.mmm"
std::string format_duration(double seconds) {
  if (!(seconds >= 0.0)) seconds = 0.0;
  const long long millis = static_cast<long long>(seconds * 1000.0 + 0.5);
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", millis / 60000, millis / 1000 % 60, millis % 1000);
  return text;
}

const char* yes_no(int32_t flag) { return flag ? "yes" : "no"; }
const char* json_bool(int32_t flag) { return flag ? "true" : "false"; }

}  // namespace

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
bool describe_stream(const std::string& path, StreamInfo& info, uint64_t& frames) {
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
  if (!describe_stream(path, report.info, report.frames)) {
    reason = "not MPEG audio";
    return false;
  }
  return true;
}

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
                info.bitrate_text, info.frame_bytes, info.protected_stream ? "CRC-16" : "none",
                yes_no(info.copyright), yes_no(info.original),
                static_cast<unsigned long long>(report.frames),
                format_duration(info.duration_ms / 1000.0).c_str(), info.duration_ms);
  return text;
}

namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0 when there is none.
size_t utf8_sequence_length(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  const unsigned char second = byte(i + 1);
  // No overlong forms, no surrogates, nothing above U+10FFFF.
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

}  // namespace

// Bytes that are not UTF-8 (a file name may hold any) become U+FFFD, so that the text is
// valid JSON for every reader.
std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
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
        } else if (c < 0x80) {
          out += static_cast<char>(c);
        } else if (const size_t length = utf8_sequence_length(text, i)) {
          out.append(text, i, length);
          i += length - 1;
        } else {
          out += "\\ufffd";
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
  char tail[512];
  std::snprintf(tail, sizeof tail,
                "\"frame_bytes\": %d, \"protected\": %s, \"copyright\": %s, \"original\": %s, "
                "\"frames\": %llu, \"duration_ms\": %.3f}",
                info.frame_bytes, json_bool(info.protected_stream), json_bool(info.copyright),
                json_bool(info.original), static_cast<unsigned long long>(report.frames),
                info.duration_ms);
  return "{\"file\": " + json_string(report.file) +
         ", \"description\": " + json_string(report.description) +
         ", \"version_text\": " + json_string(info.version_text) + ", " + numbers +
         "\"bitrate_text\": " + json_string(info.bitrate_text) + ", " + tail;
}

}  // namespace mpegin::mpegdec
