// The packed OptionWord that the module applies to an input, built from the command line
// the way the options dialog builds it when the user presses OK.
#pragma once

#include <cstdint>
#include <string>

namespace mpegin::mpegdec {

constexpr uint32_t kDitherBit = 0x1000000;
// Whole frames instead of the gapless length; never stored (the module takes a word that is
// 0 apart from it as the stored options).
constexpr uint32_t kWholeFramesBit = 0x2000000;
constexpr uint32_t kScaleMask = 0xFFFF;
constexpr double kMinGainDb = -199.0;
constexpr double kMaxGainDb = 200.0;

// Reads a gain in decibels. The whole text must be a plain decimal number ("-6", "+3.5") within
// [kMinGainDb, kMaxGainDb]; anything else is refused with a reason.
bool parse_gain_db(const std::string& text, double& db, std::string& reason);

// The word the dialog composes for these choices (mpegin_option_word): the scale field is
// (dB + 200) x 100, clamped to [0, 40000] and truncated toward zero with a small allowance.
uint32_t compose_option_word(int bits, double db, bool dither);

// Fields of a word, for messages.
int word_width(uint32_t word);          // the width byte
double word_gain_db(uint32_t word);     // decibels the module applies (0 when out of range)
bool word_dither(uint32_t word);
std::string describe_word(uint32_t word);   // e.g. "16-bit, +6 dB, dither"

}  // namespace mpegin::mpegdec
