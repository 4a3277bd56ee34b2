#include "bitstream/decode_status.h"

#include <cstdio>

namespace mpegin {

const char* decode_status_text(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::kCannotOpen:
      return "Error opening file: ";
    case DecodeStatus::kUnknownSampleFrequency:
      return "Unknown sample frequency!";
    case DecodeStatus::kNoAudio:
      return "No MPEG audio found";
    case DecodeStatus::kOutOfMemory:
      return "Out of memory";
    case DecodeStatus::kReadError:
      return "Error reading the stream";
    default:
      return "";
  }
}

void StatusMessage::set(DecodeStatus code, const char* detail) {
  code_ = code;
  std::snprintf(text_, sizeof text_, "%s%s", decode_status_text(code), detail != nullptr ? detail : "");
}

}  // namespace mpegin
