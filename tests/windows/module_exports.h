// The module as a host sees it: loaded with LoadLibrary, every export resolved by name.
#pragma once

#include <windows.h>

#include <string>

#include "host/mpeginput.h"

#define WT_EXPORTS(X)                                                                                   \
  X(RadozErezEduzad) X(OpenFilterOutput) X(CloseFilterOutput) X(WriteFilterOutput) X(OpenFilterInput) \
  X(CloseFilterInput) X(ReadFilterInput) X(FilterUnderstandsFormat) X(FilterCanWriteSpecial)          \
  X(FilterCanReadSpecial) X(FilterWriteSpecial) X(FilterReadSpecial) X(FilterOptions)                 \
  X(FilterGetFileSize) X(FilterOptionsString) X(DIALOGMsgProc) X(FilterGetOptions) X(FilterSetOptions) \
  X(FilterSetOptions2) X(GetSuggestedSampleType) X(FilterGetActualFormat)

namespace wintest {

// A procedure address as a typed function pointer (through the generic procedure type).
template <class Function>
Function as_function(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

struct ModuleExports {
  HMODULE module = nullptr;
#define WT_DECLARE(name) decltype(&::name) name = nullptr;
  WT_EXPORTS(WT_DECLARE)
#undef WT_DECLARE

  // Loads the DLL and resolves every export by name; returns what went wrong, or "".
  std::string load(const std::string& path);
  void unload();
};

struct ExportOrdinal {
  const char* name;
  int ordinal;
};
// Every named export with its ordinal, from the module's header.
extern const ExportOrdinal kExportOrdinals[21];

}  // namespace wintest
