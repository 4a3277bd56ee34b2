#include "host/loaded_module.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace mpegin::host_test {
namespace {

template <class Fn>
void resolve(void* library, const char* name, Fn& function) {
  function = reinterpret_cast<Fn>(dlsym(library, name));
  EXPECT_NE(reinterpret_cast<void*>(function), nullptr) << "missing export " << name;
}

LoadedModule load() {
  LoadedModule m;
  m.library = dlopen(MPEGIN_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(m.library, nullptr) << dlerror();
  if (m.library == nullptr) return m;
#define MPEGIN_RESOLVE(name) resolve(m.library, #name, m.name)
  MPEGIN_RESOLVE(RadozErezEduzad);
  MPEGIN_RESOLVE(OpenFilterOutput);
  MPEGIN_RESOLVE(CloseFilterOutput);
  MPEGIN_RESOLVE(WriteFilterOutput);
  MPEGIN_RESOLVE(OpenFilterInput);
  MPEGIN_RESOLVE(CloseFilterInput);
  MPEGIN_RESOLVE(ReadFilterInput);
  MPEGIN_RESOLVE(FilterUnderstandsFormat);
  MPEGIN_RESOLVE(FilterCanWriteSpecial);
  MPEGIN_RESOLVE(FilterCanReadSpecial);
  MPEGIN_RESOLVE(FilterWriteSpecial);
  MPEGIN_RESOLVE(FilterReadSpecial);
  MPEGIN_RESOLVE(FilterOptions);
  MPEGIN_RESOLVE(FilterGetFileSize);
  MPEGIN_RESOLVE(FilterOptionsString);
  MPEGIN_RESOLVE(DIALOGMsgProc);
  MPEGIN_RESOLVE(FilterGetOptions);
  MPEGIN_RESOLVE(FilterSetOptions);
  MPEGIN_RESOLVE(FilterSetOptions2);
  MPEGIN_RESOLVE(GetSuggestedSampleType);
  MPEGIN_RESOLVE(FilterGetActualFormat);
#undef MPEGIN_RESOLVE
  return m;
}

}  // namespace

const LoadedModule& loaded_module() {
  static const LoadedModule module = load();
  return module;
}

}  // namespace mpegin::host_test
