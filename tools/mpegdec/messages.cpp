#include "messages.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mpegin::mpegdec {

namespace {

bool g_progress_shown = false;

bool is_decoder_line(const std::string& line) {
  return line.rfind("Error opening file: ", 0) == 0 || line == "Unknown sample frequency!";
}

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

StderrCapture::StderrCapture() {
  std::fflush(stderr);
  char path[] = "/tmp/mpegdec-stderr-XXXXXX";
  capture_fd_ = mkstemp(path);
  if (capture_fd_ < 0) return;
  unlink(path);
  saved_fd_ = dup(STDERR_FILENO);
  if (saved_fd_ < 0 || dup2(capture_fd_, STDERR_FILENO) < 0) {
    if (saved_fd_ >= 0) close(saved_fd_);
    close(capture_fd_);
    saved_fd_ = capture_fd_ = -1;
  }
}

StderrCapture::~StderrCapture() { finish(); }

std::string StderrCapture::finish() {
  if (capture_fd_ < 0) return {};
  std::fflush(stderr);
  dup2(saved_fd_, STDERR_FILENO);
  close(saved_fd_);
  std::string text;
  char block[4096];
  ssize_t n;
  lseek(capture_fd_, 0, SEEK_SET);
  while ((n = read(capture_fd_, block, sizeof block)) > 0) text.append(block, static_cast<size_t>(n));
  close(capture_fd_);
  capture_fd_ = saved_fd_ = -1;

  std::string own;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (is_decoder_line(line)) {
      own += line + "\n";
    } else if (!line.empty()) {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    start = end + 1;
  }
  std::fflush(stderr);
  return own;
}

}  // namespace mpegin::mpegdec
