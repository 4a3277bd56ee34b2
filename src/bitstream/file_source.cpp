// Large-file offsets for fseeko/ftello on 32-bit POSIX systems.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "bitstream/file_source.h"

#include <new>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace mpegin {

namespace {

bool is_disk_file(const char* file_name) {
#if defined(_WIN32)
  (void)file_name;
  return true;
#else
  struct stat st {};
  return stat(file_name, &st) != 0 || S_ISREG(st.st_mode);  // a missing file fails in fopen
#endif
}

bool seek_to(std::FILE* file, uint64_t position, int whence) {
#if defined(_WIN32)
  return _fseeki64(file, static_cast<__int64>(position), whence) == 0;
#else
  return fseeko(file, static_cast<off_t>(position), whence) == 0;
#endif
}

int64_t tell(std::FILE* file) {
#if defined(_WIN32)
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

}  // namespace

FileSource::FileSource(const char* file_name) {
  if (file_name == nullptr || !is_disk_file(file_name)) return;
  file_ = std::fopen(file_name, "rb");
  if (file_ == nullptr) return;
  std::setvbuf(file_, nullptr, _IONBF, 0);
  name_ = file_name;
  if (seek_to(file_, 0, SEEK_END)) size_ = tell(file_);
  if (!seek_to(file_, 0, SEEK_SET)) size_ = -1;
}

FileSource::~FileSource() {
  if (file_ != nullptr) std::fclose(file_);
}

size_t FileSource::read(uint8_t* buffer, size_t size) {
  return file_ != nullptr ? std::fread(buffer, 1, size, file_) : 0;
}

bool FileSource::seek(uint64_t offset) {
  if (file_ == nullptr || size_ < 0) return false;
  std::clearerr(file_);
  return seek_to(file_, offset, SEEK_SET);
}

std::unique_ptr<ByteSource> FileSource::reopen() const {
  std::unique_ptr<FileSource> again(new (std::nothrow) FileSource(name_.c_str()));
  if (again == nullptr || !again->is_open()) return nullptr;
  return again;
}

}  // namespace mpegin
