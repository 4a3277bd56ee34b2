#include "module_exports.h"

namespace wintest {

const ExportOrdinal kExportOrdinals[21] = {
#define WT_ORDINAL(name) {#name, MPEGIN_ORDINAL_##name},
    WT_EXPORTS(WT_ORDINAL)
#undef WT_ORDINAL
};

std::string ModuleExports::load(const std::string& path) {
  module = LoadLibraryA(path.c_str());
  if (module == nullptr) return "LoadLibrary(" + path + ") failed, error " + std::to_string(GetLastError());
  std::string missing;
#define WT_RESOLVE(name)                                                        \
  name = as_function<decltype(name)>(GetProcAddress(module, #name));           \
  if (name == nullptr) missing += " " #name;
  WT_EXPORTS(WT_RESOLVE)
#undef WT_RESOLVE
  return missing.empty() ? "" : "exports not found by name:" + missing;
}

void ModuleExports::unload() {
  if (module != nullptr) FreeLibrary(module);
  *this = ModuleExports{};
}

}  // namespace wintest
