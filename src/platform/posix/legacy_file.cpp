// The legacy file calls on POSIX file descriptors.
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace mpegin::platform {

FileHandle legacy_open(const char* path, int mode) {
  if (path == nullptr) return kFileError;
  int flags = O_RDONLY;
  if ((mode & 3) == kOpenWrite) flags = O_WRONLY;
  if ((mode & 3) == kOpenReadWrite) flags = O_RDWR;
  // Opening a FIFO to read waits for a writer; without O_NONBLOCK the open returns at once,
  // and the descriptor is made blocking again for reading.
  const int fd = ::open(path, flags | O_CLOEXEC | (flags == O_RDONLY ? O_NONBLOCK : 0));
  if (fd < 0) return kFileError;
  if (flags == O_RDONLY) {
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  }
  return fd;
}

bool legacy_is_disk_file(FileHandle file) {
  struct stat status {};
  return file >= 0 && ::fstat(file, &status) == 0 && S_ISREG(status.st_mode);
}

FileHandle legacy_create(const char* path, int attributes) {
  if (path == nullptr) return kFileError;
  const mode_t permissions = (attributes & 1) != 0 ? 0444 : 0666;  // 1: read-only
  const int fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, permissions);
  return fd < 0 ? kFileError : fd;
}

int32_t legacy_write(FileHandle file, const void* bytes, uint32_t count) {
  if (file < 0 || (bytes == nullptr && count != 0) || count > INT32_MAX) return -1;
  const auto* data = static_cast<const unsigned char*>(bytes);
  uint32_t written = 0;
  while (written < count) {
    const ssize_t n = ::write(file, data + written, count - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    written += static_cast<uint32_t>(n);
  }
  return static_cast<int32_t>(written);
}

int32_t legacy_close(FileHandle file) { return file >= 0 && ::close(file) == 0 ? 0 : -1; }

bool delete_file(const char* path) { return path != nullptr && ::unlink(path) == 0; }

}  // namespace mpegin::platform
