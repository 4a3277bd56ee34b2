// The Windows test host: loads mpeginput.dll as a host audio editor does and drives every
// export through the real Windows API (run under Wine, with a display for the dialog).
//   windows_host.exe [--digests] <path of mpeginput.dll> [<directory of the ISO compliance streams>]
// --digests runs only the digests of the 32-bit output. Exits 0 when every check passed. Set MPEGIN_REQUIRE_CONFORMANCE=1 to fail instead of
// skipping when the stream directory is missing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "check.h"
#include "test_host.h"

namespace wintest {

HostEnvironment& environment() {
  static HostEnvironment instance;
  return instance;
}

void store_option_text(const char* text) {
  WritePrivateProfileStringA(kProfileSection, kProfileKey, text, kProfileFile);
}

std::string stored_option_text() {
  char text[64] = "";
  GetPrivateProfileStringA(kProfileSection, kProfileKey, "", text, sizeof text, kProfileFile);
  return text;
}

UINT stored_option_word() { return GetPrivateProfileIntA(kProfileSection, kProfileKey, 0, kProfileFile); }

namespace {

// Unix paths as Wine sees them (drive Z: is the root) and backslashes throughout.
std::string windows_path(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool is_directory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string make_temp_dir() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string dir = std::string(base) + "mpegin-windows-host-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir + "\\";
}

void remove_temp_dir(const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((dir + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

}  // namespace
}  // namespace wintest

int main(int argc, char** argv) {
  using namespace wintest;
  const bool digests_only = argc > 1 && std::string(argv[1]) == "--digests";
  if (digests_only) {
    --argc;
    ++argv;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s [--digests] <mpeginput.dll> [<conformance directory>]\n", argv[0]);
    return 2;
  }
  HostEnvironment& env = environment();
  const char* required = std::getenv("MPEGIN_REQUIRE_CONFORMANCE");
  env.conformance_required = required != nullptr && std::string(required) == "1";
  if (argc > 2 && is_directory(windows_path(argv[2]))) env.conformance_dir = windows_path(argv[2]) + "\\";
  env.temp_dir = make_temp_dir();

  const std::string dll = windows_path(argv[1]);
  const std::string problem = env.module.load(dll);
  if (!problem.empty()) {
    std::printf("[ FAIL ] load: %s\n", problem.c_str());
    return 1;
  }
  std::printf("loaded %s (%d-bit host)\n", dll.c_str(), static_cast<int>(sizeof(void*) * 8));
  store_option_text(nullptr);

  if (!digests_only) {
    run_module_cases();
    run_stream_cases();
    run_dialog_cases();
    run_alignment_cases();
  }
  run_digest_cases();

  store_option_text(nullptr);
  env.module.unload();
  remove_temp_dir(env.temp_dir);
  return finish();
}
