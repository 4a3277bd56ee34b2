#include "host/option_word.h"

#include <cmath>
#include <cstdint>

#include "platform/platform.h"

namespace mpegin {
namespace {

constexpr const char* kSection = "MPEG Filter";
constexpr const char* kKey = "InputFormat";
constexpr const char* kProfile = "zazave.ini";

// 10^exponent in extended precision, correct to a few units of its last place (far finer than
// the float gain made of it), with plain arithmetic: the maths library is not linked, since
// loading it costs a few hundred KiB of resident memory. For |exponent| <= 20.
long double power_of_ten(double exponent) {
  constexpr long double kLn10 = 2.302585092994045684017960799364242L;
  constexpr long double kLn2 = 0.693147180559945309417232121458176568L;
  const long double y = exponent * kLn10;
  // e^y = 2^k e^r with |r| <= ln 2 / 2; e^r from its series.
  const long double k = static_cast<long double>(static_cast<long long>(y / kLn2 + (y < 0 ? -0.5L : 0.5L)));
  const long double r = y - k * kLn2;
  long double term = 1.0L;
  long double sum = 1.0L;
  for (int n = 1; n < 30; ++n) {
    term *= r / n;
    sum += term;
  }
  for (long long i = 0; i < static_cast<long long>(k); ++i) sum *= 2.0L;
  for (long long i = 0; i > static_cast<long long>(k); --i) sum *= 0.5L;
  return sum;
}

}  // namespace

int16_t reported_width(uint32_t word) {
  const uint32_t width = option_width_byte(word);
  return width == 16 || width == 32 ? static_cast<int16_t>(width) : 16;
}

int16_t delivered_width(uint32_t word) { return option_width_byte(word) == 16 ? 16 : 32; }

double option_decibels(uint32_t word) { return option_scale(word) * 0.01 - 200.0; }

double applied_decibels(uint32_t word) {
  const double decibels = option_decibels(word);
  return decibels < -199.0 || decibels > 200.0 ? 0.0 : decibels;
}

// The double-precision power rounded to float, as with the maths library's pow.
float gain_from_decibels(double decibels) {
  if (decibels == 0.0) return 32768.0f;
  if (!(decibels >= -400.0 && decibels <= 400.0)) return decibels > 0.0 ? INFINITY : 0.0f;
  return static_cast<float>(32768.0 * static_cast<double>(power_of_ten(decibels * 0.05)));
}

uint32_t read_stored_option_word() { return platform::profile_get_int(kSection, kKey, 0, kProfile); }

bool store_option_word(uint32_t word) {
  char text[16];
  platform::format_text(text, "%d", static_cast<int>(word));
  return platform::profile_write_string(kSection, kKey, text, kProfile);
}

int32_t decoded_size(int32_t sample_rate, double duration_ms, int32_t bits_per_sample, int32_t channels) {
  // A duration counted from whole frames is a whole number of samples; the millionth of a
  // sample added keeps its rounding error from costing one.
  const double frames = std::trunc(static_cast<double>(sample_rate) * duration_ms * 0.001 + 1e-6);
  const double bytes = frames * static_cast<double>(bits_per_sample / 8) * static_cast<double>(channels);
  if (!(bytes > 0.0)) return 0;  // also for NaN
  return bytes >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(bytes);
}

}  // namespace mpegin
