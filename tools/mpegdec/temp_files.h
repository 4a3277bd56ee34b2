// What must not outlive an interrupted run: temporary files, which a signal removes, and the
// processes decoding for -j, which a signal to their parent ends too. The process then ends by
// the signal that came (exit status 128 + its number).
#pragma once

#include <sys/types.h>

#include <string>

namespace mpegin::mpegdec {

// Installs the handlers for SIGINT, SIGTERM, SIGHUP and SIGPIPE once, also over an ignored
// SIGINT (as a shell leaves it for a command started with '&'): whoever sends the signal
// means this process.
void install_cleanup_handlers();

// The handled signals, for blocking them while a child process is started and registered.
void block_cleanup_signals(sigset_t& previous);
void restore_signal_mask(const sigset_t& previous);

// Child processes that a signal passes on to (and waits for); room for 256, the most -j
// allows.
void register_child(pid_t pid);
void forget_child(pid_t pid);
// In a new child: the parent's table is not its own.
void forget_all_children();

// Creates an empty file in `directory` named `prefix`, the process id, '-' and six random
// characters; registers it for removal on a signal and returns its descriptor, or -1 (errno
// set). `path` receives the name.
int create_temp_file(const std::string& directory, const std::string& prefix, std::string& path);

// Removes what create_temp_file made for process `pid` with this directory and prefix: for a
// process that was killed before it could.
void remove_temp_files_of(pid_t pid, const std::string& directory, const std::string& prefix);

// Removes the file (if `remove_file`) and forgets it.
void release_temp_file(const std::string& path, bool remove_file);

}  // namespace mpegin::mpegdec
