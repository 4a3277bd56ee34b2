#include "host/decimal_text.h"

#include <cstdint>
#include <limits>

namespace mpegin {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether [p, last) starts with `word` (lower case), letters in any case.
bool starts_with(const char* p, const char* last, const char* word) {
  for (; *word != '\0'; ++p, ++word)
    if (p == last || lower(*p) != *word) return false;
  return true;
}

// 10^n in extended precision (exact up to 10^27).
long double power_of_ten(int32_t n) {
  long double result = 1.0L, square = 10.0L;
  for (; n > 0; n >>= 1, square *= square)
    if (n & 1) result *= square;
  return result;
}

}  // namespace

double read_decimal(const char* first, const char* last, const char*& end) {
  end = first;
  const char* p = first;
  const bool negative = p < last && *p == '-';
  if (negative) ++p;
  const double sign = negative ? -1.0 : 1.0;
  if (starts_with(p, last, "inf")) {
    end = p + (starts_with(p, last, "infinity") ? 8 : 3);
    return sign * std::numeric_limits<double>::infinity();
  }
  if (starts_with(p, last, "nan")) {
    p += 3;
    end = p;
    if (p < last && *p == '(') {
      const char* q = p + 1;
      while (q < last && (is_digit(*q) || (lower(*q) >= 'a' && lower(*q) <= 'z') || *q == '_')) ++q;
      if (q < last && *q == ')') end = q + 1;
    }
    return std::numeric_limits<double>::quiet_NaN();
  }

  // Up to 19 significant digits; the exponent counts the decimal places of the last one kept.
  uint64_t digits = 0;
  int32_t kept = 0;
  int64_t exponent = 0;
  bool any_digit = false, point = false;
  for (; p < last && (is_digit(*p) || (*p == '.' && !point)); ++p) {
    if (*p == '.') {
      point = true;
      continue;
    }
    any_digit = true;
    if (digits == 0 && *p == '0') {
      if (point) --exponent;   // a leading zero after the point: one place further down
      continue;
    }
    if (kept < 19) {
      digits = digits * 10 + static_cast<uint64_t>(*p - '0');
      ++kept;
      if (point) --exponent;
    } else if (!point) {
      ++exponent;   // a dropped digit before the point
    }
  }
  if (!any_digit) return 0.0;
  if (p < last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    const bool down = q < last && *q == '-';
    if (q < last && (*q == '-' || *q == '+')) ++q;
    if (q < last && is_digit(*q)) {
      int64_t value = 0;
      for (; q < last && is_digit(*q); ++q)
        if (value < 100000000) value = value * 10 + (*q - '0');
      exponent += down ? -value : value;
      p = q;
    }
  }
  end = p;
  if (digits == 0) return sign * 0.0;
  // The leading digit's place: past the double range the result is infinite or 0.
  const int64_t place = exponent + kept - 1;
  if (place > 309) return sign * std::numeric_limits<double>::infinity();
  if (place < -325) return sign * 0.0;
  const long double m = static_cast<long double>(digits);
  const long double value = exponent >= 0 ? m * power_of_ten(static_cast<int32_t>(exponent))
                                          : m / power_of_ten(static_cast<int32_t>(-exponent));
  return sign * static_cast<double>(value);
}

}  // namespace mpegin
