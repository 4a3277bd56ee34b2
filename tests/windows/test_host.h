// What the cases of the Windows test host share: the loaded module, the places it works in,
// and the option word stored in the host's profile, read and written with the real API.
#pragma once

#include <windows.h>

#include <string>

#include "module_exports.h"

namespace wintest {

struct HostEnvironment {
  ModuleExports module;
  std::string conformance_dir;  // Windows path with a trailing backslash; empty when absent
  bool conformance_required = false;
  std::string temp_dir;         // a fresh directory of this run, with a trailing backslash
};
HostEnvironment& environment();
inline ModuleExports& module() { return environment().module; }

// The host's profile entry for the option word.
constexpr char kProfileFile[] = "zazave.ini";
constexpr char kProfileSection[] = "MPEG Filter";
constexpr char kProfileKey[] = "InputFormat";
void store_option_text(const char* text);  // nullptr removes the entry
std::string stored_option_text();          // "" when absent
UINT stored_option_word();                 // GetPrivateProfileIntA, default 0

void run_module_cases();
void run_stream_cases();
void run_dialog_cases();
void run_digest_cases();
void run_alignment_cases();  // 32-bit only

}  // namespace wintest
