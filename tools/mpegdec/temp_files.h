// Temporary files that must not outlive an interrupted run: a signal removes them before
// the process ends.
#pragma once

#include <string>

namespace mpegin::mpegdec {

// Installs the handlers for SIGINT, SIGTERM, SIGHUP and SIGPIPE once.
void install_cleanup_handlers();

// Creates an empty file from a mkstemp pattern ending in XXXXXX, registers it for removal
// on a signal and returns its descriptor, or -1 (errno set). `path` receives the name.
int create_temp_file(const std::string& pattern, std::string& path);

// Removes the file (if `remove_file`) and forgets it.
void release_temp_file(const std::string& path, bool remove_file);

}  // namespace mpegin::mpegdec
