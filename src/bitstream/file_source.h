#pragma once

#include <cstdio>
#include <string>

#include "bitstream/byte_source.h"

namespace mpegin {

// A file on disk, read without the C library's buffering (the reader buffers for itself). A
// failed read ends the file, as its end does.
class FileSource final : public ByteSource {
 public:
  // Opens the file; is_open() tells whether it could be. Only regular files are opened: a
  // named pipe would wait for a writer, a device might never end.
  explicit FileSource(const char* file_name);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool is_open() const { return file_ != nullptr; }

  size_t read(uint8_t* buffer, size_t size) override;
  bool seek(uint64_t offset) override;
  int64_t size() const override { return size_; }
  std::unique_ptr<ByteSource> reopen() const override;

 private:
  std::FILE* file_ = nullptr;
  int64_t size_ = -1;
  std::string name_;
};

}  // namespace mpegin
