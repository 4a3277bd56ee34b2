// The frame-wide sample sets: reading whole parts at once (in vectors) against group by group,
// the rows that no set feeds, and the reading position left in the frame body.
#include "layer12/coded_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "layer12/layer1_tables.h"
#include "layer12/layer2_tables.h"
#include "layer12/scale_factor_table.h"
#include "support/bit_writer.h"

namespace mpegin {
namespace {

using test_support::BitWriter;
using test_support::BodyReader;

// Layer II sets of every kind over several subbands: ungrouped and grouped classes, each
// channel alone and both, with scale factors that differ by part.
void add_mixed_layer2_sets(CodedSamples& samples) {
  const float parts_a[3] = {scale_factor_table[3], scale_factor_table[10], scale_factor_table[40]};
  const float parts_b[3] = {scale_factor_table[1], scale_factor_table[62], scale_factor_table[63]};
  samples.clear();
  samples.add_layer2(0, layer2_classes[16], CodedSamples::kFirst, parts_a, parts_a);
  samples.add_layer2(0, layer2_classes[2], CodedSamples::kSecond, parts_b, parts_b);
  samples.add_layer2(1, layer2_classes[0], CodedSamples::kBoth, parts_a, parts_b);
  samples.add_layer2(5, layer2_classes[3], CodedSamples::kFirst, parts_b, parts_b);
  samples.add_layer2(7, layer2_classes[9], CodedSamples::kBoth, parts_b, parts_a);
  samples.add_layer2(31, layer2_classes[1], CodedSamples::kSecond, parts_a, parts_a);
}

BitWriter random_body(uint32_t bits, uint32_t seed) {
  std::mt19937 random(seed);
  BitWriter body;
  for (uint32_t i = 0; i < bits; i += 16) body.put(random() & 0xFFFF, 16);
  return body;
}

TEST(CodedSamplesSimd, WholeFrameEqualsRunsOfGroupsBitForBit) {
  // Runs that start and end inside parts as well; no run writes the slots after it.
  const std::vector<uint32_t> runs[] = {{12}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {2, 3, 7},
                                        {5, 6, 1}};
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    const BitWriter bits = random_body(12 * 112, seed);  // the sets take 106 bits a group
    CodedSamples samples;
    add_mixed_layer2_sets(samples);
    static CodedSamples::Subbands whole, pieces;
    std::memset(&whole, 0, sizeof whole);
    BodyReader body(bits);
    samples.read_layer2_groups(body.reader(), 0, 12, whole);
    for (const auto& run : runs) {
      std::memset(&pieces, 0, sizeof pieces);
      BodyReader reader(bits);
      uint32_t group = 0;
      for (const uint32_t length : run) {
        samples.read_layer2_groups(reader.reader(), group, length, pieces);
        group += length;
        if (group < 12) {
          ASSERT_EQ(pieces.samples[0][0][3 * group], 0.0f) << "seed " << seed;
        }
      }
      ASSERT_EQ(std::memcmp(&whole, &pieces, sizeof whole), 0) << "seed " << seed;
      EXPECT_EQ(reader.bits_read(), body.bits_read());
    }
  }
}

TEST(CodedSamples, RowsWithoutSetsAreClearedAndOthersLeftAlone) {
  CodedSamples samples;
  add_mixed_layer2_sets(samples);
  static CodedSamples::Subbands out;
  for (auto& channel : out.samples)
    for (auto& row : channel)
      for (float& value : row) value = 5.0f;
  samples.clear_silent_rows(out, 12);
  // fed: channel 0 in subbands 0, 1, 5, 7; channel 1 in 0, 1, 7, 31
  for (uint32_t sb = 0; sb < 32; ++sb) {
    const bool fed0 = sb == 0 || sb == 1 || sb == 5 || sb == 7;
    const bool fed1 = sb == 0 || sb == 1 || sb == 7 || sb == 31;
    EXPECT_EQ(out.samples[0][sb][11], fed0 ? 5.0f : 0.0f) << sb;
    EXPECT_EQ(out.samples[1][sb][11], fed1 ? 5.0f : 0.0f) << sb;
    EXPECT_EQ(out.samples[0][sb][12], 5.0f) << "beyond the slots asked for " << sb;
  }
}

TEST(CodedSamples, LeavesTheReaderWhereGetBitsWouldBe) {
  // Sets of every width, read through the cache, against the same widths through get_bits,
  // from every starting bit of a word; then reading on must agree.
  for (uint32_t start = 0; start < 40; ++start) {
    const BitWriter bits = random_body(2000, 100 + start);
    BodyReader cached(bits), plain(bits);
    cached.reader().get_bits(start % 17);
    cached.reader().get_bits(start / 17 * 5);
    plain.reader().get_bits(start % 17);
    plain.reader().get_bits(start / 17 * 5);
    CodedSamples samples;
    samples.clear();
    for (uint32_t allocation = 1; allocation <= 15; ++allocation) {
      samples.add_layer1(allocation, allocation, CodedSamples::kFirst, 1.0f, 0.0f);
    }
    static CodedSamples::Subbands out;
    for (uint32_t slot = 0; slot < 12; ++slot) {
      samples.read_layer1_slots(cached.reader(), slot, 1, out);
      for (uint32_t allocation = 1; allocation <= 15; ++allocation) {
        const float code = static_cast<float>(plain.reader().get_bits(allocation + 1));
        const float expected = code * layer1_factor[allocation] + layer1_offset[allocation];
        ASSERT_EQ(out.samples[0][allocation][slot], expected) << "start " << start << " slot " << slot;
      }
      ASSERT_EQ(cached.bits_read(), plain.bits_read()) << "start " << start << " slot " << slot;
    }
    EXPECT_EQ(cached.reader().get_bits(17), plain.reader().get_bits(17));
  }
}

TEST(CodedSamples, Layer2GroupsReadTheBitsGetBitsWould) {
  // One set of every class, from every starting bit of a word: each group leaves the reader
  // where get_bits would, and its samples are the codes get_bits reads, requantised.
  for (uint32_t start = 0; start < 40; ++start) {
    const BitWriter bits = random_body(12 * 17 * 48 + 200, 300 + start);
    BodyReader cached(bits), plain(bits);
    for (BodyReader* body : {&cached, &plain}) {
      body->reader().get_bits(start % 17);
      body->reader().get_bits(start / 17 * 5);
    }
    CodedSamples samples;
    samples.clear();
    const float ones[3] = {1.0f, 1.0f, 1.0f};
    for (uint32_t k = 0; k < kLayer2ClassCount; ++k)
      samples.add_layer2(k, layer2_classes[k], CodedSamples::kFirst, ones, ones);
    static CodedSamples::Subbands out;
    for (uint32_t group = 0; group < 12; ++group) {
      samples.read_layer2_groups(cached.reader(), group, 1, out);
      for (uint32_t k = 0; k < kLayer2ClassCount; ++k) {
        const Layer2QuantClass& c = layer2_classes[k];
        float expected[3];
        if (c.grouping != nullptr) {
          const float* entry = c.grouping + 3 * plain.reader().get_bits(c.code_bits);
          for (int i = 0; i < 3; ++i) expected[i] = entry[i];
        } else {
          const float step = std::ldexp(1.0f, 1 - static_cast<int>(c.code_bits));
          for (float& e : expected)
            e = ((static_cast<float>(plain.reader().get_bits(c.code_bits)) * step - 1.0f) + c.d) *
                c.c;
        }
        for (uint32_t i = 0; i < 3; ++i)
          ASSERT_EQ(out.samples[0][k][3 * group + i], expected[i])
              << "start " << start << " class " << k;
      }
      ASSERT_EQ(cached.bits_read(), plain.bits_read()) << "start " << start << " group " << group;
    }
    EXPECT_EQ(cached.reader().get_bits(17), plain.reader().get_bits(17));
  }
}

// A frame's codes end exactly where they end: a body just long enough is read to its last code
// and not past it, a body a byte shorter is read past its end (the frame is then damaged).
TEST(CodedSamples, ReadingPastTheBodyIsSeen) {
  const float parts[3] = {1.0f, 1.0f, 1.0f};
  struct Case {
    uint32_t layer;
    uint32_t code;  // Layer I allocation, Layer II class
  };
  const Case cases[] = {{1, 15}, {1, 2}, {2, 0}, {2, 3}, {2, 16}};
  for (const Case& c : cases) {
    CodedSamples samples;
    samples.clear();
    uint32_t bits = 0;
    for (uint32_t subband = 0; subband < 3; ++subband) {
      if (c.layer == 1) {
        samples.add_layer1(subband, c.code, CodedSamples::kBoth, 1.0f, 1.0f);
        bits += 12 * (c.code + 1);
      } else {
        const Layer2QuantClass& quant_class = layer2_classes[c.code];
        samples.add_layer2(subband, quant_class, CodedSamples::kFirst, parts, parts);
        bits += 12 * quant_class.code_bits * (quant_class.grouping != nullptr ? 1 : 3);
      }
    }
    for (const uint32_t bytes : {(bits + 7) / 8, (bits - 1) / 8}) {
      bitstream_test::Bytes contents = random_body(8 * bytes, bits).bytes();
      contents.resize(bytes);
      BodyReader body(contents);
      ASSERT_EQ(body.reader().frame_bytes, bytes);
      static CodedSamples::Subbands out;
      std::memset(&out, 0, sizeof out);
      if (c.layer == 1) {
        samples.read_layer1_slots(body.reader(), 0, 12, out);
      } else {
        samples.read_layer2_groups(body.reader(), 0, 12, out);
      }
      EXPECT_EQ(body.bits_read(), bits) << c.layer << " " << c.code;
      const bool over_read = 8 * bytes < bits;
      EXPECT_EQ(body.reader().over_read(), over_read) << c.layer << " " << c.code << " " << bytes;
      // A frame read past its body keeps the last frame's samples for its concealment.
      // (Layer I allocation 15 is silent.)
      static const CodedSamples::Subbands zero{};
      const bool untouched = std::memcmp(&out, &zero, sizeof out) == 0;
      if (c.layer != 1 || c.code != 15) {
        EXPECT_EQ(untouched, over_read) << c.layer << " " << c.code;
      }
    }
  }
}

}  // namespace
}  // namespace mpegin
