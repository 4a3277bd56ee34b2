#pragma once

#include <cstdint>

namespace mpegin {

// Why a stream was refused. The library prints nothing: the object that met the problem keeps
// its status, and a program shows the message to its user if it wants to.
enum class DecodeStatus : uint8_t {
  kOk = 0,
  kCannotOpen,              // the file cannot be opened (or is no file on disk)
  kUnknownSampleFrequency,  // the first sync carried the reserved sampling frequency, and
                            // nothing after it could be decoded
  kNoAudio,                 // no frame header was confirmed
  kOutOfMemory,
  kReadError,               // reading a stream failed
};

// The fixed text of a status: "" for kOk, "Error opening file: " (the file name follows),
// "Unknown sample frequency!", "No MPEG audio found", "Out of memory", "Error reading the stream".
const char* decode_status_text(DecodeStatus status);

// A status with its whole message, e.g. "Error opening file: song.mp3". The text is held in
// the object (no allocation); a name longer than the room is cut short.
class StatusMessage {
 public:
  static constexpr uint32_t kTextBytes = 4128;

  StatusMessage() { text_[0] = '\0'; }

  DecodeStatus code() const { return code_; }
  // "" for kOk.
  const char* text() const { return text_; }

  // The status's fixed text followed by `detail`.
  void set(DecodeStatus code, const char* detail = "");
  void clear() { set(DecodeStatus::kOk); }

 private:
  DecodeStatus code_ = DecodeStatus::kOk;
  char text_[kTextBytes];
};

}  // namespace mpegin
