// Raw output: the host's bytes go to the named file unchanged, with nothing added.
#include "host/block_lock.h"
#include "host/mpeginput.h"

namespace platform = mpegin::platform;

namespace {

// The 8-byte record behind an output handle. The file handle is kept at its full 32 bits:
// a Windows file handle does not always fit in 16.
struct OutputFileRecord {
  int32_t file;          // -1 once closed
  int32_t format_value;  // the host's fifth argument to OpenFilterOutput; not read back
};
static_assert(sizeof(OutputFileRecord) == 8, "the output record is an 8-byte block");

constexpr uint32_t kOutputFlags = platform::kMemMovable | platform::kMemDdeShare;

}  // namespace

extern "C" {

MpegOutputHandle MPEGIN_CALL OpenFilterOutput(const char* file_name, int32_t, int32_t, int32_t, int32_t format_value,
                                              int32_t* value_out, int32_t) {
  const platform::FileHandle file = platform::legacy_create(file_name, platform::kAttributeNormal);
  if (file == platform::kFileError) return nullptr;
  platform::MemoryHandle handle = platform::global_alloc(kOutputFlags, sizeof(OutputFileRecord));
  {
    mpegin::BlockLock<OutputFileRecord> record(handle);
    if (!record) {
      // Without a record the host gets no handle: close the file and leave nothing behind.
      platform::global_free(handle);
      platform::legacy_close(file);
      platform::delete_file(file_name);
      return nullptr;
    }
    record->file = file;
    record->format_value = format_value;
  }
  if (value_out != nullptr) *value_out = MPEGIN_OPEN_VALUE;
  return handle;
}

int32_t MPEGIN_CALL WriteFilterOutput(MpegOutputHandle handle, const void* buffer, int32_t count) {
  mpegin::BlockLock<OutputFileRecord> record(handle);
  if (!record) return 0;
  if (count < 0) return -1;
  return platform::legacy_write(record->file, buffer, static_cast<uint32_t>(count));
}

void MPEGIN_CALL CloseFilterOutput(MpegOutputHandle handle) {
  {
    mpegin::BlockLock<OutputFileRecord> record(handle);
    if (!record) return;
    if (record->file != platform::kFileError) {
      platform::legacy_close(record->file);
      record->file = platform::kFileError;
    }
  }
  platform::global_free(handle);
}

}  // extern "C"
