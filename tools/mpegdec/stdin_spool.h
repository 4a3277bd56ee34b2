// Standard input copied to a temporary file, since the module opens its input by name.
#pragma once

#include <sys/types.h>

#include <string>

namespace mpegin::mpegdec {

class StdinSpool {
 public:
  StdinSpool() = default;
  ~StdinSpool();
  StdinSpool(const StdinSpool&) = delete;
  StdinSpool& operator=(const StdinSpool&) = delete;

  // Copies all of standard input; false with a reason on failure.
  bool fill(std::string& reason);
  const std::string& path() const { return path_; }
  // Removes the spool of a process that was killed before it could.
  static void remove_left_by(pid_t pid);

 private:
  std::string path_;
};

}  // namespace mpegin::mpegdec
