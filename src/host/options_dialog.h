// The options dialog (resource template 101): control ids and the reading of its gain field.
#pragma once

#include <cstdint>

namespace mpegin {

constexpr int kOptionsDialogTemplate = 101;
constexpr int kControl16Bit = 1000;
constexpr int kControl32Bit = 1001;
constexpr int kControlReadAs = 1006;
constexpr int kControlGain = 1007;
constexpr int kControlDither = 1008;
constexpr int kGainTextLimit = 28;  // characters read from the gain field
// The gains OK accepts, and the text the field shows when it refuses one.
constexpr double kMinGainDecibels = -199.0;
constexpr double kMaxGainDecibels = 200.0;
constexpr const char* kGainRangeText = "-199 to 200";

// The decibels of the gain field's text. Leading blanks are skipped; text that starts with no
// number (and "nan") reads as 0 dB; a number too large for a double ("1e400") reads as the
// largest value of its sign, one too small as 0. The decimal point is always '.'.
double decibels_from_text(const char* text);
// The scale field for the gain field's text: its decibels packed as mpegin_option_word packs
// them ((dB + 200) x 100 clamped to [0, 40000] and truncated, with a small allowance).
uint32_t scale_from_text(const char* text);

}  // namespace mpegin
