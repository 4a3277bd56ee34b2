// The progress line on a terminal: percent, elapsed and remaining time, and speed as a
// multiple of real time; for an input of unknown length (standard input) the audio decoded
// so far instead of percent and remaining time. Drawn only when enabled (standard error is a terminal).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace mpegin::mpegdec {

class ProgressDisplay {
 public:
  // `total_seconds` is the estimated duration of the audio (0 when unknown).
  ProgressDisplay(std::FILE* out, bool enabled, std::string label, double total_seconds);
  ~ProgressDisplay();

  // Called after each frame with the seconds of audio decoded so far; redraws at most
  // ten times a second (the first call draws at once).
  void update(double decoded_seconds);
  // Text shown after the label (what decoding has met so far); the next update draws it at once.
  void set_note(std::string note) {
    note_ = std::move(note);
    note_shown_ = false;
  }
  // Erases the line.
  void finish();

  double elapsed_seconds() const;

  // The text of one progress line, without the carriage return that starts it.
  static std::string format_line(const std::string& label, double decoded_seconds,
                                 double total_seconds, double elapsed_seconds,
                                 const std::string& note = {});

 private:
  using Clock = std::chrono::steady_clock;
  std::FILE* out_;
  bool enabled_;
  bool drawn_ = false;
  std::string label_;
  std::string note_;
  bool note_shown_ = true;
  double total_seconds_;
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

// "m:ss" or "h:mm:ss".
std::string format_clock(double seconds);

}  // namespace mpegin::mpegdec
