#include "stdin_spool.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "temp_files.h"

namespace mpegin::mpegdec {

namespace {

constexpr const char* kSpoolPrefix = "mpegdec-stdin-";

std::string spool_directory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir ? dir : "/tmp";
}

}  // namespace

void StdinSpool::remove_left_by(pid_t pid) { remove_temp_files_of(pid, spool_directory(), kSpoolPrefix); }

StdinSpool::~StdinSpool() { release_temp_file(path_, true); }

bool StdinSpool::fill(std::string& reason) {
  install_cleanup_handlers();
  const int fd = create_temp_file(spool_directory(), kSpoolPrefix, path_);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  char block[1 << 16];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, block, sizeof block);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = std::strerror(errno);
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(fd, block + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        reason = std::string("spooling standard input: ") + std::strerror(errno);
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (close(fd) != 0 && ok) {
    reason = std::strerror(errno);
    ok = false;
  }
  return ok;
}

}  // namespace mpegin::mpegdec
