#include "layer3/bit_reservoir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace mpegin {
namespace {

std::vector<uint8_t> random_bytes(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Bits [position, position + n) of `bytes`, MSB first.
uint32_t reference_bits(const std::vector<uint8_t>& bytes, size_t position, uint32_t n) {
  uint32_t value = 0;
  for (uint32_t k = 0; k < n; ++k) {
    const size_t bit = position + k;
    value = (value << 1) | ((bytes[(bit / 8) % bytes.size()] >> (7 - bit % 8)) & 1u);
  }
  return value;
}

void store(BitReservoir& reservoir, const std::vector<uint8_t>& bytes) {
  reservoir.put_bytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// A reader over the whole ring from `position` on.
BitReader reader_at(const BitReservoir& reservoir, int32_t position) {
  BitReader bits = reservoir.reader(INT32_MAX);
  bits.set_position(position);
  return bits;
}

TEST(BitReservoir, ReadsTheStoredBitStringInAnyWidths) {
  const std::vector<uint8_t> bytes = random_bytes(600, 1);
  {
    BitReservoir reservoir;
    store(reservoir, bytes);
    BitReader bits = reader_at(reservoir, 0);
    for (uint8_t b : bytes) ASSERT_EQ(bits.get_bits(8), b);
  }
  BitReservoir reservoir;
  store(reservoir, bytes);
  BitReader bits = reader_at(reservoir, 0);
  const uint32_t widths[] = {3, 5, 8, 13, 1, 32, 17, 7, 0, 31, 2, 24};
  size_t position = 0;
  for (int round = 0; position + 32 < bytes.size() * 8; ++round) {
    const uint32_t n = widths[round % 12];
    if (round % 5 == 4) {
      ASSERT_EQ(bits.get_bits(1), reference_bits(bytes, position, 1)) << "at bit " << position;
      ++position;
    } else {
      ASSERT_EQ(bits.get_bits(n), reference_bits(bytes, position, n)) << "at bit " << position;
      position += n;
    }
    ASSERT_EQ(bits.position(), static_cast<int32_t>(position));
  }
}

TEST(BitReservoir, ZeroWidthReadsSkipsAndTheEnd) {
  BitReservoir reservoir;
  store(reservoir, {0xFF, 0x0F, 0xA5, 0x5A, 0x12, 0x34, 0x56, 0x78});
  BitReader bits = reservoir.reader(56);
  EXPECT_EQ(bits.get_bits(0), 0u);
  EXPECT_EQ(bits.position(), 0);
  bits.skip(40);
  EXPECT_EQ(bits.get_bits(8), 0x34u);
  // Reading up to the end is not an overrun; one bit more is.
  EXPECT_EQ(bits.get_bits(8), 0x56u);
  EXPECT_FALSE(bits.overrun());
  bits.get_bits(1);
  EXPECT_TRUE(bits.overrun());
}

TEST(BitReservoir, ReadsFromAnyPositionAndMovesBack) {
  const std::vector<uint8_t> bytes = random_bytes(64, 2);
  BitReservoir reservoir;
  store(reservoir, bytes);
  // Every width from every bit offset within a byte, across byte boundaries.
  for (uint32_t start = 0; start < 8; ++start) {
    for (uint32_t k = 1; k <= 32; ++k) {
      BitReader bits = reader_at(reservoir, static_cast<int32_t>(start));
      const uint32_t first = bits.get_bits(k);
      bits.skip(-static_cast<int32_t>(k));
      ASSERT_EQ(bits.position(), static_cast<int32_t>(start));
      ASSERT_EQ(bits.get_bits(k), first) << "start " << start << " width " << k;
      ASSERT_EQ(first, reference_bits(bytes, start, k));
    }
  }
}

TEST(BitReservoir, PositionsARingSizeApartReadTheSameBits) {
  const std::vector<uint8_t> bytes = random_bytes(4096, 3);
  BitReservoir reservoir;
  store(reservoir, bytes);
  const int32_t position = 8 * 4090 + 3;
  EXPECT_EQ(reader_at(reservoir, position).get_bits(21), reference_bits(bytes, position, 21));
  EXPECT_EQ(reader_at(reservoir, position + 8 * 4096).get_bits(21), reference_bits(bytes, position, 21));
}

TEST(BitReservoir, WritesWrapAroundTheRing) {
  BitReservoir reservoir;
  std::vector<uint8_t> bytes = random_bytes(4096, 4);
  store(reservoir, bytes);
  EXPECT_EQ(reservoir.write_index(), 0);
  // The 4097th..4100th bytes overwrite the first four.
  const std::vector<uint8_t> newer = {0x11, 0x22, 0x33, 0x44};
  store(reservoir, newer);
  EXPECT_EQ(reservoir.write_index(), 4);
  std::copy(newer.begin(), newer.end(), bytes.begin());
  EXPECT_EQ(reader_at(reservoir, 0).get_bits(8), 0x11u);
  // Reads that straddle the end of the ring continue at its start.
  for (uint32_t offset = 0; offset < 40; ++offset) {
    const int32_t position = static_cast<int32_t>(8 * 4092 + offset);
    ASSERT_EQ(reader_at(reservoir, position).get_bits(32), reference_bits(bytes, position, 32)) << offset;
    ASSERT_EQ(reader_at(reservoir, position).get_bits(1), reference_bits(bytes, position, 1)) << offset;
  }
  // Positions far past anything stored (corrupt lengths) still read inside the ring.
  EXPECT_EQ(reader_at(reservoir, 8 * (5 * 4096 + 2) + 1).get_bits(16), reference_bits(bytes, 8 * 2 + 1, 16));
}

TEST(BitReservoir, BlockWritesEqualOneByteWrites) {
  // Runs of every awkward length from every start near the ring's ends, including the
  // mirrored first bytes and runs longer than the ring.
  const std::vector<uint8_t> bytes = random_bytes(9000, 6);
  for (int32_t start : {0, 3, 7, 8, 100, 4090, 4095}) {
    for (uint32_t n : {0u, 1u, 5u, 8u, 13u, 4096u, 4103u, 8999u}) {
      BitReservoir by_byte, by_block;
      const uint8_t filler = 0xEE;
      for (int32_t i = 0; i < start; ++i) {
        by_byte.put_bytes(&filler, 1);
        by_block.put_bytes(&filler, 1);
      }
      for (uint32_t i = 0; i < n; ++i) by_byte.put_bytes(&bytes[i], 1);
      by_block.put_bytes(bytes.data(), n);
      ASSERT_EQ(by_block.write_index(), by_byte.write_index()) << start << " " << n;
      // Every ring position, the mirrored bytes behind the end included, reads the same.
      for (int32_t byte = 0; byte < BitReservoir::kCapacity; ++byte)
        ASSERT_EQ(reader_at(by_block, 8 * byte).window(), reader_at(by_byte, 8 * byte).window())
            << start << " " << n << " " << byte;
    }
  }
}

}  // namespace
}  // namespace mpegin
