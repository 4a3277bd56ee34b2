#include "option_word.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/mpeginput.h"

namespace mpegin::mpegdec {

namespace {

// An optional sign, digits, and an optional fraction: what strtod reads beyond that (hexadecimal,
// exponents, "inf", leading blanks) is not a gain as users write it.
bool is_plain_decimal(const std::string& text) {
  size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  size_t digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      ++digits;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits > 0;
}

}  // namespace

bool parse_gain_db(const std::string& text, double& db, std::string& reason) {
  char* end = nullptr;
  errno = 0;
  const double value = is_plain_decimal(text) ? std::strtod(text.c_str(), &end) : 0.0;
  if (end == nullptr || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
    reason = "'" + text + "' is not a decimal number of decibels (-199 to 200)";
    return false;
  }
  if (value < kMinGainDb || value > kMaxGainDb) {
    reason = "gain " + text + " dB is outside -199 to 200 dB";
    return false;
  }
  db = value;
  return true;
}

uint32_t compose_option_word(int bits, double db, bool dither) {
  return mpegin_option_word(db, bits == 32 ? 32u : 16u, dither ? 1 : 0);
}

int word_width(uint32_t word) { return static_cast<int>((word >> 16) & 0xFF); }

double word_gain_db(uint32_t word) {
  const double db = (word & kScaleMask) * 0.01 - 200.0;
  return (db < kMinGainDb || db > kMaxGainDb) ? 0.0 : db;
}

bool word_dither(uint32_t word) { return (word & kDitherBit) != 0; }

std::string describe_word(uint32_t word) {
  const int width = word_width(word) == 32 ? 32 : 16;
  char text[96];
  std::snprintf(text, sizeof text, "%d-bit, %+g dB%s", width, word_gain_db(word),
                width == 16 && word_dither(word) ? ", dither" : "");
  return text;
}

}  // namespace mpegin::mpegdec
