#include "output_target.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "temp_files.h"

namespace mpegin::mpegdec {

namespace {

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_name_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Files being written are hidden next to their final name: ".song.wav.part-<pid>-XXXXXX".
std::string partial_prefix(const std::string& path) { return "." + base_name_of(path) + ".part-"; }

mode_t current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Renames without replacing an existing file; falls back to a check and a plain rename
// on file systems that cannot do that atomically.
int rename_no_replace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  struct stat st {};
  if (lstat(to, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return rename(from, to);
}

}  // namespace

bool OutputTarget::is_existing_file(const std::string& path) {
  struct stat st {};
  return path != "-" && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::unique_ptr<OutputTarget> OutputTarget::open(const std::string& path, bool overwrite,
                                                 std::string& reason, bool& refused) {
  refused = false;
  std::unique_ptr<OutputTarget> target(new OutputTarget());
  target->path_ = path;
  target->overwrite_ = overwrite;
  if (path == "-") {
    target->fd_ = STDOUT_FILENO;
    target->standard_output_ = true;
    return target;
  }
  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    reason = "write failed (is a directory)";
    return nullptr;
  }
  if (exists && !S_ISREG(st.st_mode)) {  // a device or a pipe: written in place
    target->fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (target->fd_ < 0) {
      reason = std::string("write failed (") + std::strerror(errno) + ")";
      return nullptr;
    }
    return target;
  }
  if (exists && !overwrite) {
    refused = true;
    reason = "exists; not replaced (use -y to overwrite)";
    return nullptr;
  }
  install_cleanup_handlers();
  target->fd_ = create_temp_file(directory_of(path), partial_prefix(path), target->temp_path_);
  if (target->fd_ < 0) {
    reason = std::string("write failed (") + std::strerror(errno) + ")";
    return nullptr;
  }
  fchmod(target->fd_, 0666 & ~current_umask());
  return target;
}

bool OutputTarget::commit(std::string& reason, bool& refused) {
  refused = false;
  done_ = true;
  if (standard_output_) return true;
  bool ok = close(fd_) == 0;
  fd_ = -1;
  if (!ok) reason = std::string("write failed (") + std::strerror(errno) + ")";
  if (ok && !temp_path_.empty()) {
    const int result = overwrite_ ? rename(temp_path_.c_str(), path_.c_str())
                                  : rename_no_replace(temp_path_.c_str(), path_.c_str());
    if (result != 0) {
      refused = errno == EEXIST;
      reason = refused ? "exists; not replaced (use -y to overwrite)"
                       : std::string("write failed (") + std::strerror(errno) + ")";
      ok = false;
    }
  }
  release_temp_file(temp_path_, !ok);
  return ok;
}

void OutputTarget::abandon() {
  if (done_) return;
  done_ = true;
  if (!temp_path_.empty()) release_temp_file(temp_path_, true);
  if (!standard_output_ && fd_ >= 0) close(fd_);
  fd_ = -1;
}

OutputTarget::~OutputTarget() { abandon(); }

void OutputTarget::remove_left_by(pid_t pid, const std::string& path) {
  if (path != "-") remove_temp_files_of(pid, directory_of(path), partial_prefix(path));
}

}  // namespace mpegin::mpegdec
