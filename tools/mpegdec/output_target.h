// Where decoded audio goes: standard output, a device (written in place), or a regular file
// that is written under a temporary name in the same directory and renamed when complete,
// so that a failed or interrupted decode never leaves a half-written file under its name.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace mpegin::mpegdec {

class OutputTarget {
 public:
  ~OutputTarget();
  OutputTarget(const OutputTarget&) = delete;
  OutputTarget& operator=(const OutputTarget&) = delete;

  // "-" is standard output. Returns null with a reason when the destination cannot be
  // prepared; `refused` is set when an existing regular file would be replaced without
  // `overwrite`.
  static std::unique_ptr<OutputTarget> open(const std::string& path, bool overwrite,
                                            std::string& reason, bool& refused);

  // True when `path` names an existing regular file, which is replaced only on request.
  static bool is_existing_file(const std::string& path);
  // Removes what a process killed while writing `path` left of it.
  static void remove_left_by(pid_t pid, const std::string& path);

  int fd() const { return fd_; }
  bool is_standard_output() const { return standard_output_; }
  bool is_regular_file() const { return !temp_path_.empty(); }
  const std::string& path() const { return path_; }

  // Puts the finished file under its name (a no-op for standard output and devices).
  bool commit(std::string& reason, bool& refused);
  // Drops a file that is not complete.
  void abandon();

 private:
  OutputTarget() = default;

  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  bool standard_output_ = false;
  bool overwrite_ = false;
  bool done_ = false;
};

}  // namespace mpegin::mpegdec
