// Runs tasks in child processes, a few at a time: the module's decoder is process-wide, so
// parallel decodes need one process each.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

namespace mpegin::mpegdec {

// Runs task(i) for i = 0 .. count-1, at most `jobs` at once, each in its own process, and
// returns how many failed (a task that returns false, or a process that does not end
// normally). In the parent, `on_done(index, pid, signal_number, finished)` follows each one;
// pid is the task's process (0 when it ran in this one), signal_number the signal that ended
// it, or 0.
using TaskDone = std::function<void(size_t index, pid_t pid, int signal_number, size_t finished)>;
size_t run_in_processes(size_t count, int jobs, const std::function<bool(size_t)>& task,
                        const TaskDone& on_done);

}  // namespace mpegin::mpegdec
