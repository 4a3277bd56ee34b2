#include "job_runner.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "temp_files.h"

namespace mpegin::mpegdec {

size_t run_in_processes(size_t count, int jobs, const std::function<bool(size_t)>& task,
                        const TaskDone& on_done) {
  std::map<pid_t, size_t> running;
  size_t next = 0;
  size_t finished = 0;
  size_t failed = 0;
  while (finished < count) {
    while (next < count && running.size() < static_cast<size_t>(jobs)) {
      std::fflush(nullptr);
      // A signal that comes while the child starts finds it registered (or not yet born).
      sigset_t previous;
      block_cleanup_signals(previous);
      const pid_t pid = fork();
      if (pid == 0) {
        forget_all_children();
        restore_signal_mask(previous);
        const bool ok = task(next);
        std::fflush(nullptr);
        std::exit(ok ? 0 : 1);
      }
      if (pid > 0) register_child(pid);
      restore_signal_mask(previous);
      if (pid < 0) {
        // No more processes: run it here, one at a time.
        if (!running.empty()) break;
        failed += task(next) ? 0 : 1;
        on_done(next, 0, 0, ++finished);
        ++next;
        continue;
      }
      running[pid] = next++;
    }
    if (running.empty()) continue;
    int status = 0;
    const pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      break;
    }
    forget_child(pid);
    const auto entry = running.find(pid);
    if (entry == running.end()) continue;
    const size_t index = entry->second;
    running.erase(entry);
    const int signal_number = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (signal_number != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    on_done(index, pid, signal_number, ++finished);
  }
  return failed + (count - finished);
}

}  // namespace mpegin::mpegdec
