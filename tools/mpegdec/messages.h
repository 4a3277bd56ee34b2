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

}  // namespace mpegin::mpegdec
