// Tick count, last error, export lookup by ordinal and wsprintfA-style formatting.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <dlfcn.h>

#include "platform/platform.h"

namespace mpegin::platform {
namespace {

// The module's export table: ordinal to name. A dlopen handle has no ordinals, so an ordinal
// is resolved through its export name.
struct OrdinalName {
  uint32_t ordinal;
  const char* name;
};
constexpr OrdinalName kExports[] = {
    {2, "RadozErezEduzad"},         {3, "OpenFilterOutput"},      {4, "CloseFilterOutput"},
    {5, "WriteFilterOutput"},       {6, "OpenFilterInput"},       {7, "CloseFilterInput"},
    {8, "ReadFilterInput"},         {9, "FilterUnderstandsFormat"}, {10, "FilterCanWriteSpecial"},
    {11, "FilterCanReadSpecial"},   {12, "FilterWriteSpecial"},   {13, "FilterReadSpecial"},
    {15, "FilterOptions"},          {16, "FilterGetFileSize"},    {17, "FilterOptionsString"},
    {20, "DIALOGMsgProc"},          {30, "FilterGetOptions"},     {31, "FilterSetOptions"},
    {32, "FilterSetOptions2"},      {33, "GetSuggestedSampleType"}, {34, "FilterGetActualFormat"},
};

}  // namespace

void set_last_error(uint32_t code) { errno = static_cast<int>(code); }

uint32_t tick_count() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

// module: a handle from dlopen, or null for the symbols visible to the whole process.
Procedure procedure_by_ordinal(ModuleHandle module, uint32_t ordinal) {
  for (const OrdinalName& entry : kExports) {
    if (entry.ordinal != ordinal) continue;
    void* symbol = dlsym(module != nullptr ? module : RTLD_DEFAULT, entry.name);
    return reinterpret_cast<Procedure>(symbol);
  }
  return nullptr;
}

int format_text(char* buffer, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int n = std::vsnprintf(buffer, kFormatTextLimit, format, arguments);
  va_end(arguments);
  if (n < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return n < static_cast<int>(kFormatTextLimit) ? n : static_cast<int>(kFormatTextLimit) - 1;
}

}  // namespace mpegin::platform
