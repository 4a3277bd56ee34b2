#include "temp_files.h"

#include <signal.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

namespace mpegin::mpegdec {

namespace {

// A fixed table the signal handler can walk without allocating.
constexpr int kSlots = 4;
constexpr size_t kPathMax = 4096;
char g_paths[kSlots][kPathMax];
volatile sig_atomic_t g_used[kSlots];

void on_signal(int signal_number) {
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i]) unlink(g_paths[i]);
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

void install_cleanup_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

int create_temp_file(const std::string& pattern, std::string& path) {
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int slot = -1;
  for (int i = 0; i < kSlots && slot < 0; ++i) {
    if (!g_used[i]) slot = i;
  }
  if (slot < 0 || name.size() > kPathMax) {
    errno = ENAMETOOLONG;
    return -1;
  }
  // Block the handled signals while the slot is filled so that a signal sees either no
  // entry or a complete one.
  sigset_t all, previous;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &previous);
  const int fd = mkstemp(name.data());
  const int saved_errno = errno;
  if (fd >= 0) {
    memcpy(g_paths[slot], name.data(), name.size());
    g_used[slot] = 1;
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  errno = saved_errno;
  if (fd >= 0) path.assign(name.data());
  return fd;
}

void release_temp_file(const std::string& path, bool remove_file) {
  if (path.empty()) return;
  if (remove_file) unlink(path.c_str());
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i] && path == g_paths[i]) g_used[i] = 0;
  }
}

}  // namespace mpegin::mpegdec
