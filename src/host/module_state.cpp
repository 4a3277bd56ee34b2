#include "host/module_state.h"

#if defined(_WIN32)
#include "host/mpeginput.h"
#else
#include <dlfcn.h>
#endif

namespace mpegin {
namespace {

platform::ModuleHandle kept_instance = nullptr;

}  // namespace

int module_entry(platform::ModuleHandle instance, uint32_t reason) {
  if (reason == kProcessAttach) kept_instance = instance;
  if (reason == kProcessDetach) kept_instance = nullptr;
  return 1;
}

platform::ModuleHandle module_instance() { return kept_instance; }

DecoderContext& decoder_context() {
  static DecoderContext context;
  return context;
}

}  // namespace mpegin

#if defined(_WIN32)
// Called by the runtime start-up after the module's static initialisation.
extern "C" int MPEGIN_CALL DllMain(void* instance, unsigned long reason, void*) {
  return mpegin::module_entry(instance, static_cast<uint32_t>(reason));
}
#else
// The shared library's load and unload stand in for process attach and detach; the handle
// kept is the address the module is loaded at, as a Windows module handle is.
namespace {

__attribute__((constructor)) void module_loaded() {
  Dl_info info{};
  const bool found = dladdr(reinterpret_cast<void*>(&module_loaded), &info) != 0;
  mpegin::module_entry(found ? info.dli_fbase : nullptr, mpegin::kProcessAttach);
}

__attribute__((destructor)) void module_unloaded() { mpegin::module_entry(nullptr, mpegin::kProcessDetach); }

}  // namespace
#endif
