#include "host/format_decibels.h"

#include <cmath>

namespace mpegin {
namespace {

class TextOut {
 public:
  TextOut(char* text, std::size_t capacity) : text_(text), last_(capacity - 1) {}
  ~TextOut() { text_[length_] = '\0'; }
  void put(char c) {
    if (length_ < last_) text_[length_++] = c;
  }
  void digit(double d) { put(static_cast<char>('0' + (d < 0.0 ? 0 : d > 9.0 ? 9 : static_cast<int>(d)))); }
  // Nothing but an optional sign written: the value rounds to zero, which reads "0".
  void zero_if_empty() {
    if (length_ == 0 || (length_ == 1 && text_[0] == '-')) {
      length_ = 0;
      put('0');
    }
  }
  std::size_t length() const { return length_; }
  char back() const { return length_ > 0 ? text_[length_ - 1] : '\0'; }
  void drop() { --length_; }

 private:
  char* text_;
  std::size_t last_;
  std::size_t length_ = 0;
};

}  // namespace

void format_decibels(char* text, std::size_t capacity, double x) {
  TextOut out(text, capacity);
  if (x == 0.0 || std::isnan(x)) {
    out.put('0');
    return;
  }
  if (x < 0.0) {
    out.put('-');
    x = -x;
  }
  if (std::isinf(x)) x = 1e300;
  x += 4.656683928435187e-10;

  double p = 1.0;
  for (double y = x; y >= 1.0; y *= 0.1) p *= 10.0;
  for (double d = p * 0.1; d >= 1.0; d *= 0.1) {
    const double digit = std::trunc(x / d);
    out.digit(digit);
    x -= digit * d;
  }
  if (x == 0.0) {
    out.zero_if_empty();
    return;
  }

  const std::size_t point = out.length();
  out.put('.');
  for (int i = 0; i < 9 && x != 0.0; ++i) {
    x *= 10.0;
    const double digit = std::trunc(x);
    out.digit(digit);
    x -= digit;
  }
  while (out.length() > point + 1 && out.back() == '0') out.drop();
  if (out.length() == point + 1 && out.back() == '.') out.drop();
  out.zero_if_empty();
}

}  // namespace mpegin
