// The dialog procedure of the options dialog.
#include "host/options_dialog.h"

#include <cmath>
#include <cstring>

#include "host/decimal_text.h"
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
  if (*number == '+') ++number;
  const char* read_end = nullptr;
  const double value = read_decimal(number, end, read_end);
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

}  // namespace

double decibels_from_text(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  if (*p == '+' && p[1] != '-' && p[1] != '+') ++p;
  const char* const end = p + std::strlen(p);
  // Too large is the infinity of its sign (clamped later), too small is 0, as the standard
  // conversion reads them.
  const char* read_end = nullptr;
  const double value = read_decimal(p, end, read_end);
  return std::isnan(value) ? 0.0 : value;
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
