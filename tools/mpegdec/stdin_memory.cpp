#include "stdin_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mpegin::mpegdec {

StdinInMemory::~StdinInMemory() {
  if (fd_ >= 0) close(fd_);
}

bool StdinInMemory::fill(std::string& reason) {
  // A closed standard input would otherwise be the memory file itself, read as empty.
  if (fcntl(STDIN_FILENO, F_GETFD) < 0) {
    reason = std::strerror(errno);
    return false;
  }
  fd_ = memfd_create("mpegdec-stdin", MFD_CLOEXEC);
  if (fd_ < 0) {
    reason = std::strerror(errno);
    return false;
  }
  char block[1 << 16];
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, block, sizeof block);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(fd_, block + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        reason = std::string("holding standard input in memory: ") + std::strerror(w < 0 ? errno : ENOSPC);
        return false;
      }
      done += w;
    }
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
  return true;
}

}  // namespace mpegin::mpegdec
