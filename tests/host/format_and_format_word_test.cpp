// The decibel text near zero, the gain text beyond the range of a double, and the width
// FilterGetActualFormat reports for an open handle.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/format_decibels.h"
#include "host/host_test_support.h"
#include "host/mpeginput.h"
#include "host/option_word.h"
#include "host/options_dialog.h"

namespace mpegin {
namespace {

std::string decibel_text(double value) {
  char text[64];
  format_decibels(text, sizeof text, value);
  return text;
}

TEST(DecibelTextNearZero, NeverEmptyNeverMinusZero) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {option_decibels(kDialogDefaultWord), "0"},
      {-0.0, "0"},
      {1e-300, "0"},
      {-1e-300, "0"},
      {4e-10, "0"},
      {-4e-10, "0"},
      {6e-10, ".000000001"},
      {-9.9e-10, "-.000000001"},
      {1e-9, ".000000001"},
      {-1e-9, "-.000000001"},
      {2.842170943040401e-14, "0"},  // the default word's 0 dB computed at excess precision
  };
  for (const auto& c : cases) EXPECT_EQ(decibel_text(c.value), c.text) << c.value;
}

TEST(GainTextBeyondADouble, ReadsAsTheStandardConversionDoes) {
  const struct {
    const char* text;
    uint32_t scale;
  } cases[] = {
      {"1e400", kMaxScale},      {"-1e400", 0u},       {"+1e400", kMaxScale},  {" 1.5E+999 dB", kMaxScale},
      {"0.0001e400", kMaxScale}, {"-123e99999999", 0}, {"1e-400", 20000u},     {"-1e-400", 20000u},
      {"100e-402", 20000u},      {"0.000e999", 20000u},
  };
  for (const auto& c : cases) EXPECT_EQ(scale_from_text(c.text), c.scale) << c.text;
}

// The format word passed in is not what decides: reads of the handle do.
TEST(ActualFormat, IsTheWidthReadsDeliver) {
  host_test::TempDir dir;
  host_test::ScopedEnv config_home("XDG_CONFIG_HOME", dir.path().c_str());
  const std::string path = dir.file("silent.mp2");
  host_test::write_silent_layer2(path, 4);
  int32_t rate = 0, value = 0;
  int16_t bits = 0, channels = 0;
  MpegInputHandle handle = OpenFilterInput(path.c_str(), &rate, &bits, &channels, 0, &value);
  ASSERT_NE(handle, nullptr);
  const struct {
    uint32_t applied;
    int16_t delivered;
  } cases[] = {{0, 16}, {0x204E20, 32}, {0x104E20, 16}, {24u << 16 | 20000, 32}};
  float buffer[2304];
  for (const auto& c : cases) {
    int16_t width = 0;
    FilterSetOptions2(handle, c.applied, &rate, &channels, &width);
    ASSERT_EQ(width, c.delivered);
    for (const uint32_t asked : {0u, 0x104E20u, 0x204E20u}) {
      int16_t actual = 0;
      EXPECT_EQ(FilterGetActualFormat(handle, asked, 0, 0, &actual), 1);
      EXPECT_EQ(actual, c.delivered) << std::hex << c.applied << " " << asked;
    }
    EXPECT_EQ(ReadFilterInput(handle, buffer, 0), 1152 * 2 * c.delivered / 8);
  }
  CloseFilterInput(handle);
}

}  // namespace
}  // namespace mpegin
