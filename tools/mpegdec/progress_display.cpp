#include "progress_display.h"

#include <algorithm>
#include <cmath>

namespace mpegin::mpegdec {

std::string format_clock(double seconds) {
  if (!(seconds >= 0.0) || !std::isfinite(seconds)) seconds = 0.0;
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

ProgressDisplay::ProgressDisplay(std::FILE* out, bool enabled, std::string label,
                                 double total_seconds)
    : out_(out), enabled_(enabled), label_(std::move(label)), total_seconds_(total_seconds),
      start_(Clock::now()), last_draw_(start_) {}

ProgressDisplay::~ProgressDisplay() { finish(); }

double ProgressDisplay::elapsed_seconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

std::string ProgressDisplay::format_line(const std::string& label, double decoded_seconds,
                                         double total_seconds, double elapsed_seconds,
                                         const std::string& note) {
  // The duration is an estimate from the file size; never show more than 99 % or less than
  // no time left before the end.
  double fraction = total_seconds > 0.0 ? decoded_seconds / total_seconds : 0.0;
  fraction = std::min(std::max(fraction, 0.0), 0.99);
  const double speed = elapsed_seconds > 0.0 ? decoded_seconds / elapsed_seconds : 0.0;
  const double remaining =
      speed > 0.0 ? std::max(total_seconds - decoded_seconds, 0.0) / speed : 0.0;
  char text[512];
  if (total_seconds > 0.0) {
    std::snprintf(text, sizeof text, "%3d%%  %s elapsed  %s left  %.1fx  %s",
                  static_cast<int>(fraction * 100.0), format_clock(elapsed_seconds).c_str(),
                  format_clock(remaining).c_str(), speed, label.c_str());
  } else {   // a stream of unknown length: how much is done, not how much is left
    std::snprintf(text, sizeof text, "%s decoded  %s elapsed  %.1fx  %s",
                  format_clock(decoded_seconds).c_str(), format_clock(elapsed_seconds).c_str(), speed,
                  label.c_str());
  }
  return note.empty() ? std::string(text) : text + ("  (" + note + ")");
}

void ProgressDisplay::update(double decoded_seconds) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (drawn_ && note_shown_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  drawn_ = true;
  note_shown_ = true;
  const std::string line =
      format_line(label_, decoded_seconds, total_seconds_, elapsed_seconds(), note_);
  std::fprintf(out_, "\r%s\033[K", line.c_str());
  std::fflush(out_);
}

void ProgressDisplay::finish() {
  if (!drawn_) return;
  drawn_ = false;
  std::fprintf(out_, "\r\033[K");
  std::fflush(out_);
}

}  // namespace mpegin::mpegdec
