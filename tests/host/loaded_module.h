// The built module, loaded with dlopen and its exports resolved by name, as a host does.
#pragma once

#include "host/mpeginput.h"

namespace mpegin::host_test {

struct LoadedModule {
  void* library = nullptr;
  RadozErezEduzadFn RadozErezEduzad = nullptr;
  OpenFilterOutputFn OpenFilterOutput = nullptr;
  CloseFilterOutputFn CloseFilterOutput = nullptr;
  WriteFilterOutputFn WriteFilterOutput = nullptr;
  OpenFilterInputFn OpenFilterInput = nullptr;
  CloseFilterInputFn CloseFilterInput = nullptr;
  ReadFilterInputFn ReadFilterInput = nullptr;
  FilterUnderstandsFormatFn FilterUnderstandsFormat = nullptr;
  FilterSpecial2Fn FilterCanWriteSpecial = nullptr;
  FilterSpecial2Fn FilterCanReadSpecial = nullptr;
  FilterSpecial4Fn FilterWriteSpecial = nullptr;
  FilterSpecial4Fn FilterReadSpecial = nullptr;
  FilterOptionsFn FilterOptions = nullptr;
  FilterGetFileSizeFn FilterGetFileSize = nullptr;
  FilterOptionsStringFn FilterOptionsString = nullptr;
  DIALOGMsgProcFn DIALOGMsgProc = nullptr;
  FilterGetOptionsFn FilterGetOptions = nullptr;
  FilterSetOptionsFn FilterSetOptions = nullptr;
  FilterSetOptions2Fn FilterSetOptions2 = nullptr;
  GetSuggestedSampleTypeFn GetSuggestedSampleType = nullptr;
  FilterGetActualFormatFn FilterGetActualFormat = nullptr;
};

// Loads the module once per process; fails the calling test when an export is missing.
const LoadedModule& loaded_module();

}  // namespace mpegin::host_test
