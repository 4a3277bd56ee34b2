// Runs tasks in child processes, a few at a time: the module's decoder is process-wide, so
// parallel decodes need one process each.
#pragma once

#include <cstddef>
#include <functional>

namespace mpegin::mpegdec {

// Runs task(i) for i = 0 .. count-1, at most `jobs` at once, each in its own process, and
// returns how many failed (a task that returns false, or a process that does not end
// normally). In the parent, `on_done(index, signal_number, finished)` follows each one;
// signal_number is the signal that ended the task's process, or 0.
using TaskDone = std::function<void(size_t index, int signal_number, size_t finished)>;
size_t run_in_processes(size_t count, int jobs, const std::function<bool(size_t)>& task,
                        const TaskDone& on_done);

}  // namespace mpegin::mpegdec
