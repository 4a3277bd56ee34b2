// One-line messages on standard error, prefixed with the program name.
#pragma once

#include <string>

namespace mpegin::mpegdec {

// "mpegdec: SUBJECT: WHAT"
void report(const std::string& subject, const std::string& what);

// Writes one line to standard error. When a progress line may stand there, it is erased
// first, so that the message starts at the left edge and the next redraw goes below it.
void message_line(const std::string& line);
// Whether standard error is a terminal that shows progress (set once, before any job runs;
// processes started for -j inherit it).
void set_progress_shown(bool shown);

// Collects what the decoder writes to standard error while a file is opened (it names
// unreadable files and reserved sample rates itself), so that each failure stays one line.
// Lines the decoder is known to write are kept for verbose output; anything else is passed
// through unchanged when the capture ends.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Restores standard error; returns the decoder's own lines (may be empty).
  std::string finish();

 private:
  int saved_fd_ = -1;
  int capture_fd_ = -1;
};

}  // namespace mpegin::mpegdec
