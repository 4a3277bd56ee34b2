// A small check library for the Windows test host, which runs under Wine without a test
// framework: named cases, checks that record failures and go on, and a summary.
#pragma once

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <type_traits>

namespace wintest {

// Records one failed check; safe to call from any thread.
void record_failure(const char* file, int line, const std::string& message);
long failure_count();

// Runs one named case and reports whether it added failures.
void run_case(const std::string& name, const std::function<void()>& body);
// Reports a case that cannot run here; a skip that must not happen is a failure.
void skip_case(const std::string& name, const std::string& why, bool required);
// Prints the summary; returns the process exit code.
int finish();

std::string printable(const std::string& text);
inline std::string printable(const char* text) { return text ? printable(std::string(text)) : "(null)"; }
inline std::string printable(char* text) { return printable(static_cast<const char*>(text)); }
template <class T>
std::string printable(const T& value) {
  std::ostringstream out;
  if constexpr (std::is_pointer_v<T> && std::is_function_v<std::remove_pointer_t<T>>) {
    out << reinterpret_cast<const void*>(value);
  } else if constexpr (std::is_pointer_v<T>) {
    out << static_cast<const void*>(value);
  } else if constexpr (std::is_integral_v<T>) {
    out << static_cast<long long>(value);
  } else {
    out.precision(9);
    out << value;
  }
  return out.str();
}

template <class A, class B>
bool check_equal(const A& actual, const B& expected, const char* expression, const char* file, int line) {
  bool equal;
  if constexpr (std::is_integral_v<A> && std::is_integral_v<B>) {
    equal = static_cast<long long>(actual) == static_cast<long long>(expected);
  } else if constexpr (std::is_convertible_v<A, std::string> && std::is_convertible_v<B, std::string>) {
    equal = std::string(actual) == std::string(expected);
  } else {
    equal = actual == expected;
  }
  if (!equal) record_failure(file, line, std::string(expression) + ": got " + printable(actual) + ", expected " + printable(expected));
  return equal;
}

}  // namespace wintest

#define WT_CHECK(condition) \
  ((condition) ? true : (::wintest::record_failure(__FILE__, __LINE__, "failed: " #condition), false))
#define WT_CHECK_EQ(actual, expected) \
  ::wintest::check_equal((actual), (expected), #actual " == " #expected, __FILE__, __LINE__)
