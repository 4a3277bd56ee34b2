#include "temp_files.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
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

// Enough for the most parallel jobs -j allows.
constexpr int kChildSlots = 256;
volatile pid_t g_children[kChildSlots];

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void on_signal(int signal_number) {
  const int saved_errno = errno;
  // The children remove their own files when the signal reaches them; wait until they have.
  for (int i = 0; i < kChildSlots; ++i) {
    if (g_children[i] > 0) {
      kill(g_children[i], signal_number);
      kill(g_children[i], SIGCONT);   // a stopped child would never see it
    }
  }
  for (int i = 0; i < kChildSlots; ++i) {
    if (g_children[i] > 0) {
      while (waitpid(g_children[i], nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i]) unlink(g_paths[i]);
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);   // delivered when the handler returns
  errno = saved_errno;
}

}  // namespace

void install_cleanup_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal_number : kHandledSignals) {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

void block_cleanup_signals(sigset_t& previous) {
  sigset_t handled;
  sigemptyset(&handled);
  for (int signal_number : kHandledSignals) sigaddset(&handled, signal_number);
  sigprocmask(SIG_BLOCK, &handled, &previous);
}

void restore_signal_mask(const sigset_t& previous) { sigprocmask(SIG_SETMASK, &previous, nullptr); }

void register_child(pid_t pid) {
  for (int i = 0; i < kChildSlots; ++i) {
    if (g_children[i] <= 0) {
      g_children[i] = pid;
      return;
    }
  }
}

void forget_child(pid_t pid) {
  for (int i = 0; i < kChildSlots; ++i) {
    if (g_children[i] == pid) g_children[i] = 0;
  }
}

void forget_all_children() {
  for (int i = 0; i < kChildSlots; ++i) g_children[i] = 0;
}

int create_temp_file(const std::string& directory, const std::string& prefix, std::string& path) {
  const std::string pattern = directory + "/" + prefix + std::to_string(getpid()) + "-XXXXXX";
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

void remove_temp_files_of(pid_t pid, const std::string& directory, const std::string& prefix) {
  const std::string start = prefix + std::to_string(pid) + "-";
  DIR* folder = opendir(directory.c_str());
  if (folder == nullptr) return;
  while (const dirent* entry = readdir(folder)) {
    if (strncmp(entry->d_name, start.c_str(), start.size()) == 0 && strlen(entry->d_name) == start.size() + 6) {
      unlink((directory + "/" + entry->d_name).c_str());
    }
  }
  closedir(folder);
}

void release_temp_file(const std::string& path, bool remove_file) {
  if (path.empty()) return;
  if (remove_file) unlink(path.c_str());
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i] && path == g_paths[i]) g_used[i] = 0;
  }
}

}  // namespace mpegin::mpegdec
