// The input module, loaded at run time by file name as a host editor loads it, with the
// exports mpegdec calls resolved by name.
#pragma once

#include <string>
#include <vector>

#include "host/mpeginput.h"

namespace mpegin::mpegdec {

struct ModuleApi {
  void* library = nullptr;   // the dlopen handle, which is also the module instance handle
  std::string path;          // the file it was loaded from
  OpenFilterInputFn open_input = nullptr;
  FilterSetOptions2Fn set_options = nullptr;
  ReadFilterInputFn read_input = nullptr;
  CloseFilterInputFn close_input = nullptr;
  FilterGetFileSizeFn file_size = nullptr;
  FilterOptionsFn options = nullptr;
  FilterOptionsStringFn options_string = nullptr;
  FilterGetOptionsFn get_options = nullptr;
  GetSuggestedSampleTypeFn suggested_sample_type = nullptr;
  MpegInputStreamEventsFn stream_events = nullptr;   // null for a module without it
};

// The places a plug-in `file` of mpegdec is looked for, in order: next to the executable, the
// plug-in directory of an installation around it, `build_path` (the build tree's, or null),
// the installed plug-in directory, then the system's library search.
std::vector<std::string> plugin_candidates(const std::string& file, const char* build_path);

// The module's places: $MPEGIN_MODULE alone when set, else the plug-in places.
std::vector<std::string> module_candidates();

// Loads the first candidate that loads and has every export (MpegInputStreamEvents may be
// missing); on failure `error` says why.
bool load_module(ModuleApi& api, std::string& error);

}  // namespace mpegin::mpegdec
