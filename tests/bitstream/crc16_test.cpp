#include "bitstream/crc16.h"

#include <gtest/gtest.h>

#include <random>

namespace mpegin {
namespace {

uint32_t crc_of(uint32_t data, uint32_t n) {
  Crc16 crc;
  crc.feed(data, n);
  return crc.value;
}

TEST(Crc16, KnownValuesFromTheInitialRegister) {
  EXPECT_EQ(crc_of(0x0000, 16), 0x800Du);
  EXPECT_EQ(crc_of(0xFFFF, 16), 0x0000u);
  EXPECT_EQ(crc_of(0x9004, 16), 0x601Cu);  // header bits of a Layer II 160 kbit/s frame
  EXPECT_EQ(crc_of(1, 1), 0xFFFEu);
  EXPECT_EQ(crc_of(0, 1), 0x7FFBu);
  EXPECT_EQ(crc_of(0xABCD, 0), 0xFFFFu);
}

TEST(Crc16, OnlyTheLowBitsCountAndFieldsMayBeSplitAnywhere) {
  std::mt19937 random(42);
  for (int round = 0; round < 200; ++round) {
    // A run of fields as the band objects feed them (2..16 bits each) ...
    Crc16 fields;
    Crc16 bits;
    for (int i = 0; i < 20; ++i) {
      const uint32_t n = 2 + random() % 15;
      const uint32_t data = random();
      fields.feed(data | (0xFFFFFFFFu << n), n);  // bits above n are ignored
      for (uint32_t b = n; b-- > 0;) bits.feed((data >> b) & 1, 1);  // ... equals bit by bit
    }
    ASSERT_EQ(fields.value, bits.value);
    ASSERT_LE(fields.value, 0xFFFFu);
  }
}

TEST(Crc16, DetectsEveryFlippedBitOfAFrameCheck) {
  const uint32_t message[] = {0x9004, 0x1234, 0xFEDC, 0x0F0F};
  Crc16 reference;
  for (uint32_t word : message) reference.feed(word, 16);
  for (int bit = 0; bit < 64; ++bit) {
    Crc16 crc;
    for (int w = 0; w < 4; ++w) crc.feed(message[w] ^ (bit / 16 == w ? 1u << (bit % 16) : 0u), 16);
    EXPECT_NE(crc.value, reference.value) << "bit " << bit;
  }
}

}  // namespace
}  // namespace mpegin
