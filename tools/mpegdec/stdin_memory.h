// Standard input held in memory as an anonymous file (memfd), for --info: the description
// walks the whole stream and reads tags at both ends, which a stream read once cannot give,
// and the module opens its input by name. Nothing is written to any file system.
#pragma once

#include <string>

namespace mpegin::mpegdec {

class StdinInMemory {
 public:
  StdinInMemory() = default;
  ~StdinInMemory();
  StdinInMemory(const StdinInMemory&) = delete;
  StdinInMemory& operator=(const StdinInMemory&) = delete;

  // Reads all of standard input; false with the system's reason on failure.
  bool fill(std::string& reason);
  // A name under which the bytes can be opened while this lives.
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace mpegin::mpegdec
