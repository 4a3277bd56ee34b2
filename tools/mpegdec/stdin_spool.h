// Standard input copied to a temporary file, since the module opens its input by name.
#pragma once

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

 private:
  std::string path_;
};

}  // namespace mpegin::mpegdec
