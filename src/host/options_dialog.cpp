// The dialog procedure of the options dialog.
#include "host/options_dialog.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "host/format_decibels.h"
#include "host/mpeginput.h"
#include "host/option_word.h"
#include "platform/platform.h"

namespace mpegin {
namespace {

using platform::WindowHandle;

// The text the gain field was given when the dialog opened (one modal dialog at a time). OK on
// it unchanged keeps the stored gain, even one outside the range a user may type.
char g_initial_gain_text[64];

void enable_dither_for_width(WindowHandle dialog) {
  const bool sixteen = platform::is_dlg_button_checked(dialog, kControl16Bit) == platform::kChecked;
  platform::enable_window(platform::get_dlg_item(dialog, kControlDither), sixteen);
}

void initialise(WindowHandle dialog, uint32_t word) {
  double decibels = option_decibels(word);
  if (decibels > 200.0) decibels = 0.0;
  const int width_button = option_width_byte(word) == 32 ? kControl32Bit : kControl16Bit;
  platform::check_dlg_button(dialog, width_button, platform::kChecked);
  platform::check_dlg_button(dialog, kControlDither, option_dither(word) ? platform::kChecked : platform::kUnchecked);
  format_decibels(g_initial_gain_text, sizeof g_initial_gain_text, decibels);
  platform::set_dlg_item_text(dialog, kControlGain, g_initial_gain_text);
  enable_dither_for_width(dialog);
}

// The gain field holds a plain decimal number ("6", "-3.5", blanks around it allowed) from
// -199 to 200: a gain the module applies as typed. Anything else would be stored as some other
// gain than the user meant (0 dB for a word, a clamped value for one out of range).
bool gain_text_valid(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  const char* number = p;
  if (*p == '+' || *p == '-') ++p;
  int digits = 0;
  bool point = false;
  for (; (*p >= '0' && *p <= '9') || (*p == '.' && !point); ++p) {
    if (*p == '.') {
      point = true;
    } else {
      ++digits;
    }
  }
  const char* end = p;
  while (*p == ' ' || *p == '\t') ++p;
  if (digits == 0 || *p != '\0') return false;
  double value = 0.0;
  if (*number == '+') ++number;
  std::from_chars(number, end, value);
  return value >= kMinGainDecibels && value <= kMaxGainDecibels;
}

bool gain_field_valid(WindowHandle dialog) {
  char text[kGainTextLimit + 1];
  platform::get_dlg_item_text(dialog, kControlGain, text, sizeof text);
  return gain_text_valid(text) || std::strcmp(text, g_initial_gain_text) == 0;
}

uint32_t chosen_word(WindowHandle dialog) {
  const unsigned width = platform::is_dlg_button_checked(dialog, kControl32Bit) == platform::kChecked ? 32 : 16;
  char text[kGainTextLimit + 1];
  platform::get_dlg_item_text(dialog, kControlGain, text, sizeof text);
  const int dither = platform::is_dlg_button_checked(dialog, kControlDither) == platform::kChecked ? 1 : 0;
  return mpegin_option_word(decibels_from_text(text), width, dither);
}

// Whether a number that does not fit a double (text from first to last, as matched by
// from_chars) is too large rather than too small: the place value of its first non-zero
// digit, plus its exponent, is positive.
bool overflows(const char* first, const char* last) {
  const char* p = first;
  if (p < last && (*p == '-' || *p == '+')) ++p;
  long integer_digits = 0, place = 0;
  bool found = false, after_point = false;
  long fraction_digits = 0, first_integer_digit = 0;
  for (; p < last && ((*p >= '0' && *p <= '9') || (*p == '.' && !after_point)); ++p) {
    if (*p == '.') {
      after_point = true;
      continue;
    }
    if (after_point) ++fraction_digits; else ++integer_digits;
    if (!found && *p != '0') {
      found = true;
      if (after_point) place = -fraction_digits; else first_integer_digit = integer_digits;
    }
  }
  if (!found) return false;
  if (first_integer_digit > 0) place = integer_digits - first_integer_digit;
  long exponent = 0;
  if (p < last && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative = p < last && *p == '-';
    if (p < last && (*p == '-' || *p == '+')) ++p;
    for (; p < last && *p >= '0' && *p <= '9'; ++p)
      if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
    if (negative) exponent = -exponent;
  }
  return place + exponent > 0;
}

}  // namespace

double decibels_from_text(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  if (*p == '+' && p[1] != '-' && p[1] != '+') ++p;
  const char* const end = p + std::strlen(p);
  double value = 0.0;
  const std::from_chars_result read = std::from_chars(p, end, value);
  if (read.ec == std::errc::result_out_of_range) {
    // As the standard conversion reads it: too large is the largest value of its sign (then
    // clamped below), too small is 0.
    value = overflows(p, read.ptr) ? (*p == '-' ? -HUGE_VAL : HUGE_VAL) : 0.0;
  } else if (read.ec != std::errc() || std::isnan(value)) {
    value = 0.0;
  }
  return value;
}

uint32_t scale_from_text(const char* text) { return option_scale(mpegin_option_word(decibels_from_text(text), 0, 0)); }

}  // namespace mpegin

extern "C" intptr_t MPEGIN_CALL DIALOGMsgProc(MpegWindowHandle window, uint32_t message, uintptr_t wparam,
                                              intptr_t lparam) {
  switch (message) {
    case mpegin::platform::kWmInitDialog:
      mpegin::initialise(window, static_cast<uint32_t>(lparam));
      return 1;
    case mpegin::platform::kWmCommand:
      switch (static_cast<int>(wparam & 0xFFFFu)) {
        case mpegin::kControl16Bit:
        case mpegin::kControl32Bit:
          mpegin::enable_dither_for_width(window);
          break;
        case mpegin::platform::kIdOk:
          // A typed gain out of range or not a number is refused: the field then shows the range
          // and the dialog stays open.
          if (!mpegin::gain_field_valid(window)) {
            mpegin::platform::set_dlg_item_text(window, mpegin::kControlGain, mpegin::kGainRangeText);
            break;
          }
          mpegin::platform::end_dialog(window, static_cast<intptr_t>(mpegin::chosen_word(window)));
          break;
        case mpegin::platform::kIdCancel:
          mpegin::platform::end_dialog(window, 0);
          break;
        default:
          break;
      }
      return 1;
    case mpegin::platform::kWmClose:
      mpegin::platform::post_message(window, mpegin::platform::kWmCommand, mpegin::platform::kIdCancel, 0);
      return 1;
    default:
      return 0;
  }
}
