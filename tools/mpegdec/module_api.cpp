#include "module_api.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdlib>

namespace mpegin::mpegdec {

namespace {

constexpr const char* kModuleFile = "libmpeginput.so";

std::string executable_directory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string text(path, static_cast<size_t>(n));
  const size_t slash = text.rfind('/');
  return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

template <typename Function>
bool resolve(void* library, const char* name, Function& out, std::string& missing) {
  out = reinterpret_cast<Function>(dlsym(library, name));
  if (out == nullptr) missing += missing.empty() ? name : std::string(", ") + name;
  return out != nullptr;
}

bool resolve_all(ModuleApi& api, std::string& missing) {
  void* lib = api.library;
  bool ok = resolve(lib, "OpenFilterInput", api.open_input, missing);
  ok &= resolve(lib, "FilterSetOptions2", api.set_options, missing);
  ok &= resolve(lib, "ReadFilterInput", api.read_input, missing);
  ok &= resolve(lib, "CloseFilterInput", api.close_input, missing);
  ok &= resolve(lib, "FilterGetFileSize", api.file_size, missing);
  ok &= resolve(lib, "FilterOptions", api.options, missing);
  ok &= resolve(lib, "FilterOptionsString", api.options_string, missing);
  ok &= resolve(lib, "FilterGetOptions", api.get_options, missing);
  ok &= resolve(lib, "GetSuggestedSampleType", api.suggested_sample_type, missing);
  // Optional: a module without it decodes all the same, and its events go unreported.
  api.stream_events = reinterpret_cast<MpegInputStreamEventsFn>(dlsym(lib, "MpegInputStreamEvents"));
  return ok;
}

}  // namespace

std::vector<std::string> plugin_candidates(const std::string& file, const char* build_path) {
  std::vector<std::string> paths;
  const std::string here = executable_directory();
  if (!here.empty()) {
    paths.push_back(here + "/" + file);
    paths.push_back(here + "/../" MPEGDEC_INSTALL_LIBDIR "/mpegin/" + file);
  }
  if (build_path != nullptr) paths.emplace_back(build_path);
  paths.emplace_back(MPEGDEC_INSTALL_FULL_LIBDIR "/mpegin/" + file);
  paths.push_back(file);
  return paths;
}

std::vector<std::string> module_candidates() {
  if (const char* forced = std::getenv("MPEGIN_MODULE"); forced != nullptr && *forced != '\0') {
    return {forced};   // an explicit choice is not second-guessed
  }
#ifdef MPEGDEC_BUILD_MODULE
  return plugin_candidates(kModuleFile, MPEGDEC_BUILD_MODULE);
#else
  return plugin_candidates(kModuleFile, nullptr);
#endif
}

bool load_module(ModuleApi& api, std::string& error) {
  error.clear();
  const char* forced = std::getenv("MPEGIN_MODULE");
  const bool chosen = forced != nullptr && *forced != '\0';
  for (const std::string& path : module_candidates()) {
    const bool by_path = path.find('/') != std::string::npos;
    if (by_path && access(path.c_str(), F_OK) != 0) {
      // The path the user gave is the only candidate: say what is wrong with it.
      if (chosen) error = path + " (from MPEGIN_MODULE): " + std::strerror(errno);
      continue;
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      const char* reason = dlerror();
      if (by_path || error.empty()) error = reason != nullptr ? reason : path + ": cannot load";
      continue;
    }
    api = ModuleApi{};
    api.library = library;
    api.path = path;
    std::string missing;
    if (resolve_all(api, missing)) return true;
    error = path + ": missing exports " + missing;
    dlclose(library);
    api = ModuleApi{};
  }
  if (error.empty()) error = std::string("cannot find ") + kModuleFile + " (set MPEGIN_MODULE)";
  return false;
}

}  // namespace mpegin::mpegdec
