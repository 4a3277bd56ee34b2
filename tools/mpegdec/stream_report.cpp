#include "stream_report.h"

#include <cstdio>

#include "container_sniff.h"
#include "decode_job.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "decoder/gapless_trim.h"
#include "decoder/stream_description.h"
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

}  // namespace

std::string format_duration(double seconds) {
  if (!(seconds >= 0.0)) seconds = 0.0;
  const long long millis = static_cast<long long>(seconds * 1000.0 + 0.5);
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", millis / 60000, millis / 1000 % 60, millis % 1000);
  return text;
}

namespace {

const char* yes_no(int32_t flag) { return flag ? "yes" : "no"; }
const char* json_bool(int32_t flag) { return flag ? "true" : "false"; }

// Tag text for a terminal: control characters become spaces.
std::string printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return out;
}

std::string format_number(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The lines after the stream's own: length, encoder, tags.
std::string extra_text(const StreamReport& report) {
  std::string out = "  samples:      " + std::to_string(report.samples) + " per channel";
  if (report.gapless) {
    out += " (gapless; " + std::to_string(report.whole_samples) + " in whole frames)";
  } else if (report.encoder.present) {
    out += " (whole frames: the encoder tag's lengths do not fit the stream)";
  } else if (report.encoder.encoder[0] == '\0') {
    out += " (whole frames)";
  }
  out += "\n";
  const EncoderTag& e = report.encoder;
  if (e.present) {
    out += "  encoder:      " + printable(e.encoder) + ", delay " + std::to_string(e.delay) + ", padding " +
           std::to_string(e.padding) + "\n";
    if (e.has_track_gain || e.has_album_gain || e.peak > 0.0f) {
      std::string gain;
      if (e.has_track_gain) gain += "track " + format_number("%+.1f dB", e.track_gain_db);
      if (e.has_album_gain) gain += std::string(gain.empty() ? "" : ", ") + "album " + format_number("%+.1f dB", e.album_gain_db);
      if (e.peak > 0.0f) gain += std::string(gain.empty() ? "" : ", ") + "peak " + format_number("%.6f", e.peak);
      out += "  replay gain:  " + gain + "\n";
    }
  }
  const FileTags& t = report.tags;
  if (!t.error.empty()) out += "  tags:         not read: " + t.error + "\n";
  if (!t.kinds.empty()) {
    std::string kinds;
    for (const std::string& kind : t.kinds) kinds += (kinds.empty() ? "" : ", ") + kind;
    out += "  tags:         " + kinds + "\n";
  }
  const std::pair<const char*, const std::string*> fields[] = {
      {"title:        ", &t.title}, {"artist:       ", &t.artist}, {"album:        ", &t.album},
      {"track:        ", &t.track}, {"date:         ", &t.date},   {"genre:        ", &t.genre},
      {"comment:      ", &t.comment}};
  for (const auto& field : fields) {
    if (!field.second->empty()) out += std::string("  ") + field.first + printable(*field.second) + "\n";
  }
  for (const TagPicture& p : t.pictures) {
    out += "  picture:      " + printable(p.mime.empty() ? "unknown type" : p.mime) + ", " + p.type + ", " +
           std::to_string(p.bytes) + " bytes\n";
  }
  return out;
}

std::string json_extra(const StreamReport& report) {
  std::string out = ", \"samples\": " + std::to_string(report.samples) +
                    ", \"whole_frame_samples\": " + std::to_string(report.whole_samples) +
                    ", \"gapless\": " + json_bool(report.gapless) + ", \"encoder\": ";
  const EncoderTag& e = report.encoder;
  if (e.present) {
    out += "{\"name\": " + json_string(e.encoder) + ", \"delay\": " + std::to_string(e.delay) +
           ", \"padding\": " + std::to_string(e.padding) +
           ", \"peak\": " + format_number("%.6f", e.peak) +
           ", \"track_gain_db\": " + (e.has_track_gain ? format_number("%.1f", e.track_gain_db) : "null") +
           ", \"album_gain_db\": " + (e.has_album_gain ? format_number("%.1f", e.album_gain_db) : "null") + "}";
  } else {
    out += "null";
  }
  const FileTags& t = report.tags;
  out += ", \"tags\": {\"kinds\": [";
  for (size_t i = 0; i < t.kinds.size(); ++i) out += (i ? ", " : "") + json_string(t.kinds[i]);
  out += "], \"title\": " + json_string(t.title) + ", \"artist\": " + json_string(t.artist) +
         ", \"album\": " + json_string(t.album) + ", \"track\": " + json_string(t.track) +
         ", \"date\": " + json_string(t.date) + ", \"genre\": " + json_string(t.genre) +
         ", \"comment\": " + json_string(t.comment) + ", \"pictures\": [";
  for (size_t i = 0; i < t.pictures.size(); ++i) {
    const TagPicture& p = t.pictures[i];
    out += std::string(i ? ", " : "") + "{\"mime\": " + json_string(p.mime) + ", \"type\": " +
           json_string(p.type) + ", \"bytes\": " + std::to_string(p.bytes) + "}";
  }
  return out + "], \"error\": " + json_string(t.error) + "}";
}

}  // namespace

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

// From the first frame header and a walk over the headers, as the decoder context describes a
// stream: mpegdec never runs a decoder of its own, so that its process holds only the module's.
bool describe_stream(const std::string& path, StreamInfo& info, uint64_t& frames, StreamReport* report) {
  MpegFileReader reader(path.c_str());
  FrameHeader header;
  Crc16* crc = nullptr;
  uint32_t tagged_frames = 0;
  EncoderTag tag;
  const bool ok = reader.is_open() && read_first_audio_header(reader, header, crc, tagged_frames, &tag);
  if (ok) {
    mpegin::describe_stream(header, reader, tagged_frames, info);
    frames = stream_frame_count(header, reader, tagged_frames);
  }
  reader.close();
  StreamWalk walk;
  const bool walked = ok && walk_stream(path.c_str(), walk);
  if (walked) {
    info.channel_count = walk.max_channels;
    frames = walk.frames;
    info.duration_ms = walk.duration_ms();
  }
  if (ok) {
    GaplessTrim trim;
    trim.start(tag, tagged_frames, header.samples_per_frame(), 1);
    const uint64_t whole = walked ? walk.samples : frames * header.samples_per_frame();
    trim.describe(info, whole);
    if (report != nullptr) {
      report->encoder = tag;
      report->gapless = trim.tagged();
      report->whole_samples = whole;
      report->samples = trim.tagged() ? trim.delivered(whole) : whole;
      report->walk = walk;
      report->walked = walked;
    }
  }
  return ok;
}

std::string decoder_refusal_message(const std::string& path) {
  MpegFileReader reader(path.c_str());
  if (!reader.is_open()) {
    return reader.status().code() == DecodeStatus::kCannotOpen ? reader.status().text() : "";
  }
  FrameHeader header;
  Crc16* crc = nullptr;
  uint32_t tagged_frames = 0;
  if (read_first_audio_header(reader, header, crc, tagged_frames)) return {};
  return header.status() == DecodeStatus::kUnknownSampleFrequency ? decode_status_text(header.status()) : "";
}

bool read_stream_report(const ModuleApi& api, const std::string& path, StreamReport& report,
                        std::string& reason) {
  report = StreamReport{};
  report.file = path;
  ModuleInput input(api);
  if (!foreign_audio_kind(path).empty() || !input.open(path)) {
    reason = not_mpeg_reason(path);
    return false;
  }
  report.description = input.description();
  input.close();
  if (!describe_stream(path, report.info, report.frames, &report)) {
    reason = "not MPEG audio";
    return false;
  }
  report.tags = read_file_tags(path);
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
  std::string out = text + extra_text(report);
  if (report.walked && report.walk.change_frame != 0)
    out += "  changes to:   " + format_change_text(report.walk) + "\n";
  if (report.walked && report.walk.changed_rate != 0)
    out += "  rate change:  " + rate_change_text(report.walk) + "\n";
  return out;
}

// Bytes that are not UTF-8 (a file name may hold any) become U+FFFD, written as the escape
// "\\ufffd", so that the text is valid JSON for every reader.
std::string json_string(const std::string& text) {
  const std::string valid = valid_utf8(text);
  std::string out = "\"";
  for (size_t i = 0; i < valid.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(valid[i]);
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
        } else if (valid.compare(i, 3, "\xEF\xBF\xBD") == 0) {
          out += "\\ufffd";
          i += 2;
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
                "\"frames\": %llu, \"duration_ms\": %.3f, \"vbr\": %s, \"average_bitrate\": %.0f",
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
         "\"bitrate_text\": " + json_string(info.bitrate_text) + ", " + tail + json_extra(report) + ", " + changes;
}

}  // namespace mpegin::mpegdec
