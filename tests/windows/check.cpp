#include "check.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace wintest {
namespace {
std::atomic<long> failures{0};
SRWLOCK output_lock = SRWLOCK_INIT;  // the win32 thread model has no std::mutex
int cases_run = 0, cases_failed = 0, cases_skipped = 0;
}  // namespace

void record_failure(const char* file, int line, const std::string& message) {
  failures.fetch_add(1);
  const char* base = file;
  for (const char* p = file; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  AcquireSRWLockExclusive(&output_lock);
  std::printf("    %s:%d: %s\n", base, line, message.c_str());
  std::fflush(stdout);
  ReleaseSRWLockExclusive(&output_lock);
}

long failure_count() { return failures.load(); }

void run_case(const std::string& name, const std::function<void()>& body) {
  std::printf("[ RUN  ] %s\n", name.c_str());
  std::fflush(stdout);
  const long before = failure_count();
  body();
  const bool ok = failure_count() == before;
  ++cases_run;
  if (!ok) ++cases_failed;
  std::printf("[ %s ] %s\n", ok ? " OK " : "FAIL", name.c_str());
  std::fflush(stdout);
}

void skip_case(const std::string& name, const std::string& why, bool required) {
  if (required) {
    ++cases_run;
    ++cases_failed;
    failures.fetch_add(1);
    std::printf("[ FAIL ] %s: %s (required)\n", name.c_str(), why.c_str());
  } else {
    ++cases_skipped;
    std::printf("[ SKIP ] %s: %s\n", name.c_str(), why.c_str());
  }
  std::fflush(stdout);
}

int finish() {
  std::printf("%d case(s) run, %d failed, %d skipped; %ld failed check(s)\n", cases_run, cases_failed, cases_skipped,
              failure_count());
  std::fflush(stdout);
  return failure_count() == 0 ? 0 : 1;
}

std::string printable(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (static_cast<unsigned char>(c) < 0x20) out += "\\x" + std::to_string(static_cast<unsigned char>(c));
    else out += c;
  }
  return out + "\"";
}

}  // namespace wintest
