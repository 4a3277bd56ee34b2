#include "messages.h"

#include <cstdio>

namespace mpegin::mpegdec {

namespace {

bool g_progress_shown = false;

}  // namespace

void set_progress_shown(bool shown) { g_progress_shown = shown; }

void message_line(const std::string& line) {
  std::fflush(stdout);
  // One write, so that the lines of processes running side by side do not interleave.
  const std::string text = (g_progress_shown ? "\r\033[K" : "") + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void report(const std::string& subject, const std::string& what) {
  message_line("mpegdec: " + subject + ": " + what);
}

}  // namespace mpegin::mpegdec
