// The OptionWord: bits 0-15 the scale ((dB + 200) x 100), bits 16-23 the sample width,
// bit 24 dither. It is stored as decimal text under "MPEG Filter" / "InputFormat" in the
// host's profile "zazave.ini".
//
// Bit 25 asks for whole frames instead of the gapless length. The dialog never sets it and
// it is never stored: a caller (mpegdec --no-gapless) adds it to the word of an options call,
// where a word that is 0 apart from it still means the stored options.
#pragma once

#include <cstdint>

namespace mpegin {

constexpr uint32_t kDialogDefaultWord = 20000;     // 0 dB, no width
constexpr uint32_t kSetOptionsDefaultWord = 0x104E20;  // 0 dB, 16-bit, no dither
constexpr uint32_t kWidth16Bits = 0x100000;
constexpr uint32_t kWidth32Bits = 0x200000;
constexpr uint32_t kDitherBit = 0x1000000;
constexpr uint32_t kMaxScale = 40000;
constexpr uint32_t kWholeFramesBit = 0x2000000;

inline uint32_t option_scale(uint32_t word) { return word & 0xFFFFu; }
inline uint32_t option_width_byte(uint32_t word) { return (word >> 16) & 0xFFu; }
inline bool option_dither(uint32_t word) { return (word & kDitherBit) != 0; }
inline bool option_whole_frames(uint32_t word) { return (word & kWholeFramesBit) != 0; }

// The width reported for a stored word: its width byte when 16 or 32, else 16.
int16_t reported_width(uint32_t word);
// The width a set call delivers: 16 for a width byte of 16, 32 for every other one.
int16_t delivered_width(uint32_t word);

// Decibels of the scale field: value x 0.01 - 200.
double option_decibels(uint32_t word);
// The decibels a set call applies: option_decibels, or 0 when outside -199 .. +200.
double applied_decibels(uint32_t word);
// The linear gain of a decibel value: 32768 x 10^(dB / 20), rounded to single precision.
float gain_from_decibels(double decibels);

uint32_t read_stored_option_word();  // 0 when nothing is stored
bool store_option_word(uint32_t word);

// Expected bytes of a whole decoded stream: trunc(rate x duration_ms / 1000) x bytes per
// sample x channels, limited to the range of the 32-bit result.
int32_t decoded_size(int32_t sample_rate, double duration_ms, int32_t bits_per_sample, int32_t channels);

}  // namespace mpegin
