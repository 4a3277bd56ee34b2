// The OptionWord: decibels, gains, widths, the expected output size, and the texts of the
// options dialog's gain field.
#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "host/decimal_text.h"
#include "host/format_decibels.h"
#include "host/mpeginput.h"
#include "host/option_word.h"
#include "host/options_dialog.h"

namespace mpegin {
namespace {

// Gains across the usable range, 32768 x 10^(dB / 20) written out in decimal.
TEST(OptionWord, GainsOfStoredDecibelValues) {
  const std::pair<uint32_t, float> rows[] = {
      {99, 32768.0f},            {100, 3.67663007e-06f}, {101, 3.68086539e-06f},
      {9950, 0.309349868f},      {14000, 32.768f},       {18000, 3276.8f},
      {19400, 16422.9033f},      {19999, 32730.2962f},   {20000, 32768.0f},
      {20001, 32805.7473f},      {20600, 65380.7555f},   {22000, 327680.0f},
      {26000, 32768000.0f},      {39999, 3.27302962e14f}, {40000, 3.2768e14f},
      {40001, 32768.0f},
  };
  for (const auto& [field, gain] : rows) {
    EXPECT_FLOAT_EQ(gain_from_decibels(applied_decibels(field)), gain) << field;
  }
}

// Computed without the maths library, every gain a stored field can give is the float the
// library's double-precision power rounds to.
TEST(OptionWord, EveryGainIsTheRoundedDoublePower) {
  for (uint32_t field = 100; field <= 40000; ++field) {
    const double decibels = applied_decibels(field);
    ASSERT_EQ(gain_from_decibels(decibels), static_cast<float>(32768.0 * std::pow(10.0, decibels * 0.05)))
        << field;
  }
}

TEST(OptionWord, TableOfWords) {
  struct Row {
    uint32_t word;
    double decibels;
    uint32_t width_byte;
    bool dither;
    float gain;
  };
  const Row rows[] = {
      {20000, 0.0, 0, false, 32768.0f},           {1068576, 0.0, 16, false, 32768.0f},
      {2117152, 0.0, 32, false, 32768.0f},        {17845792, 0.0, 16, true, 32768.0f},
      {1069176, 6.0, 16, false, 65380.754f},      {1067976, -6.0, 16, false, 16422.902f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.word);
    EXPECT_EQ(applied_decibels(row.word), row.decibels);
    EXPECT_EQ(option_width_byte(row.word), row.width_byte);
    EXPECT_EQ(option_dither(row.word), row.dither);
    EXPECT_EQ(gain_from_decibels(applied_decibels(row.word)), row.gain);
  }
  EXPECT_EQ(mpegin_option_word(-6.0, 16, 0), 1067976u);
  EXPECT_EQ(mpegin_option_word(6.0, 16, 1), 1069176u | kDitherBit);
  EXPECT_EQ(mpegin_option_word(0.0, 32, 0), 2117152u);
  EXPECT_EQ(mpegin_option_word(-500.0, 16, 0), 0x100000u);
  EXPECT_EQ(mpegin_option_word(500.0, 16, 0), 0x100000u | 40000u);
}

TEST(OptionWord, ScaleOutsideTheUsableRangeAppliesZeroDecibels) {
  EXPECT_EQ(applied_decibels(0), 0.0);       // -200 dB
  EXPECT_EQ(applied_decibels(99), 0.0);      // -199.01 dB
  EXPECT_DOUBLE_EQ(applied_decibels(100), -199.0);
  EXPECT_EQ(applied_decibels(40000), 200.0);
  EXPECT_EQ(applied_decibels(40001), 0.0);
  EXPECT_EQ(applied_decibels(0xFFFF), 0.0);
  EXPECT_EQ(option_decibels(0), -200.0);
}

TEST(OptionWord, ReportedAndDeliveredWidths) {
  for (uint32_t width : {0u, 8u, 16u, 24u, 32u, 255u}) {
    SCOPED_TRACE(width);
    const uint32_t word = 20000 | width << 16;
    EXPECT_EQ(reported_width(word), width == 32 ? 32 : 16);
    EXPECT_EQ(delivered_width(word), width == 16 ? 16 : 32);
  }
}

TEST(OptionWord, DecodedSize) {
  EXPECT_EQ(decoded_size(44100, 1000.0, 16, 2), 44100 * 2 * 2);
  EXPECT_EQ(decoded_size(44100, 1000.0, 32, 1), 44100 * 4);
  EXPECT_EQ(decoded_size(48000, 26.125, 16, 2), 1254 * 4);  // trunc(1254.0)
  EXPECT_EQ(decoded_size(22050, 0.99, 32, 2), 21 * 8);      // trunc(21.8295)
  // Ten hours at 48 kHz, stereo, 32 bits is over 2 GiB: the 32-bit result saturates.
  EXPECT_EQ(decoded_size(48000, 36e6, 32, 2), INT32_MAX);
  EXPECT_EQ(decoded_size(48000, -5.0, 32, 2), 0);
}

std::string decibel_text(double value, std::size_t capacity = 64) {
  char text[64];
  std::memset(text, 'x', sizeof text);
  format_decibels(text, capacity, value);
  return text;
}

TEST(DecibelText, WrittenLikeTheDialogShowsIt) {
  EXPECT_EQ(decibel_text(0.0), "0");
  EXPECT_EQ(decibel_text(6.0), "6");
  EXPECT_EQ(decibel_text(6.5), "6.5");
  EXPECT_EQ(decibel_text(-0.5), "-.5");
  EXPECT_EQ(decibel_text(0.5), ".5");
  EXPECT_EQ(decibel_text(-200.0), "-200");
  EXPECT_EQ(decibel_text(200.0), "200");
  EXPECT_EQ(decibel_text(-6.0), "-6");
  EXPECT_EQ(decibel_text(10.0), "10");
  EXPECT_EQ(decibel_text(100.0), "100");
  EXPECT_EQ(decibel_text(123.25), "123.25");
  EXPECT_EQ(decibel_text(0.01), ".01");
  EXPECT_EQ(decibel_text(-199.99), "-199.99");
  EXPECT_EQ(decibel_text(1.0 / 3.0), ".333333333");
}

TEST(DecibelText, StaysWithinTheBuffer) {
  char text[4];
  std::memset(text, 'x', sizeof text);
  format_decibels(text, sizeof text, -123.5);
  EXPECT_STREQ(text, "-12");
  format_decibels(text, 1, 6.0);
  EXPECT_STREQ(text, "");
}

// The reader of the gain field against the library's conversion: what it reads and where it
// stops; too large and too small give infinity and 0 where the library reports the range.
TEST(DecimalText, ReadsAsFromChars) {
  const char* const texts[] = {
      "6",      "-6.5dB",   ".5",       "-.25e1",    "56.03",   "199.99",   "0.000e999", "1e",
      "1e+",    "2E-3x",    "007.50",   "-0",        "..5",     "-",        "abc",       "1.5.5",
      "inf",    "-Infinity", "infin",   "nan(x1)",   "NaN(",    "1e400",    "-1e-400",   "100e-402",
      "123456789012345678901234567", "0.000000000000000000000001234567890123456789012345",
      "179769313486231570000000000000000000000000000000000000000000000000000000000000000000000"
      "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
      "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
      "0000000000000000000000000000000000000000000000000000000000000000000000000",
  };
  for (const char* text : texts) {
    const char* last = text + std::strlen(text);
    double expected = 0.0;
    const std::from_chars_result read = std::from_chars(text, last, expected);
    const char* end = nullptr;
    const double value = read_decimal(text, last, end);
    EXPECT_EQ(end, read.ec == std::errc::invalid_argument ? text : read.ptr) << text;
    if (read.ec == std::errc::result_out_of_range) {
      EXPECT_TRUE(value == 0.0 || std::isinf(value)) << text;
    } else if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(value)) << text;
    } else {
      EXPECT_EQ(value, expected) << text;
      EXPECT_EQ(std::signbit(value), std::signbit(expected)) << text;
    }
  }
  // Random decimals of up to 17 digits: within an ulp of the nearest double.
  uint64_t x = 12345;
  for (int i = 0; i < 20000; ++i) {
    x = x * 6364136223846793005u + 1442695040888963407u;
    char text[40];
    std::snprintf(text, sizeof text, "%.*e", static_cast<int>(x >> 60), static_cast<double>(x >> 11) *
                  std::pow(10.0, static_cast<int>((x >> 3) % 80) - 40));
    double expected = 0.0;
    std::from_chars(text, text + std::strlen(text), expected);
    const char* end = nullptr;
    const double value = read_decimal(text, text + std::strlen(text), end);
    ASSERT_LE(std::fabs(value - expected), std::fabs(std::nextafter(expected, 0.0) - expected)) << text;
  }
}

TEST(GainFieldText, ReadsLikeTextToDouble) {
  EXPECT_EQ(scale_from_text("6"), 20600u);
  EXPECT_EQ(scale_from_text("-6"), 19400u);
  EXPECT_EQ(scale_from_text("  -6.5"), 19350u);
  EXPECT_EQ(scale_from_text("+3"), 20300u);
  EXPECT_EQ(scale_from_text("6dB"), 20600u);
  EXPECT_EQ(scale_from_text("1e1"), 21000u);
  EXPECT_EQ(scale_from_text("-.5"), 19950u);
  EXPECT_EQ(scale_from_text("0"), 20000u);
}

// The header's helper and the dialog pack a gain alike, and every gain written with two
// decimals keeps its last digit (56.03 x 100 is not exact in binary).
TEST(GainFieldText, EveryHundredthPacksAsTheDialogStoresIt) {
  for (int k = -19900; k <= 20000; ++k) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", k / 100.0);
    ASSERT_EQ(scale_from_text(text), static_cast<uint32_t>(k + 20000)) << text;
    ASSERT_EQ(mpegin_option_word(k / 100.0, 32, 1), kWidth32Bits | kDitherBit | static_cast<uint32_t>(k + 20000)) << text;
  }
}

TEST(GainFieldText, ClampsAndFallsBackToZeroDecibels) {
  EXPECT_EQ(scale_from_text("-300"), 0u);
  EXPECT_EQ(scale_from_text("500"), 40000u);
  EXPECT_EQ(scale_from_text("inf"), 40000u);
  EXPECT_EQ(scale_from_text("-inf"), 0u);
  EXPECT_EQ(scale_from_text("abc"), 20000u);
  EXPECT_EQ(scale_from_text(""), 20000u);
  EXPECT_EQ(scale_from_text("nan"), 20000u);
  EXPECT_EQ(scale_from_text("+-3"), 20000u);
}

}  // namespace
}  // namespace mpegin
