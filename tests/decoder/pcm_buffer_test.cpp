#include "decoder/pcm_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bitstream/frame_header.h"

namespace mpegin {
namespace {

std::unique_ptr<PcmBuffer> make_buffer(uint32_t version, uint32_t layer, uint32_t channels) {
  FrameHeader header;
  header.version = version;
  header.layer = layer;
  return PcmBuffer::create(header, channels);
}

TEST(PcmBuffer, InterleavesTwoChannelsAndRewindsOnTake) {
  auto buffer = make_buffer(1, 2, 2);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->channels(), 2u);
  const float one = 1.0f, two = 2.0f;
  for (int i = 0; i < 2; ++i) {
    buffer->append_block(0, &one, 1);
    buffer->append_block(1, &two, 1);
  }
  uint32_t length = 0;
  const float* samples = buffer->take(length);
  ASSERT_EQ(length, 16u);
  EXPECT_EQ(samples[0], 1.0f);
  EXPECT_EQ(samples[1], 2.0f);
  EXPECT_EQ(samples[2], 1.0f);
  EXPECT_EQ(samples[3], 2.0f);
  EXPECT_EQ(buffer->take(length), samples);
  EXPECT_EQ(length, 0u);  // nothing appended since the last take

  // Longer blocks land in the same places, copied bit for bit.
  const float block0[3] = {std::numeric_limits<float>::quiet_NaN(), -0.0f, 3.5f};
  const float block1[3] = {4.0f, std::numeric_limits<float>::infinity(), -1e-40f};
  buffer->append_block(1, block1, 3);
  buffer->append_block(0, block0, 3);
  samples = buffer->take(length);
  ASSERT_EQ(length, 24u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(std::memcmp(&samples[2 * i], &block0[i], 4), 0) << i;
    EXPECT_EQ(std::memcmp(&samples[2 * i + 1], &block1[i], 4), 0) << i;
  }
}

TEST(PcmBuffer, OneChannelIsAPlainSequence) {
  auto buffer = make_buffer(1, 1, 1);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->channels(), 1u);
  for (int i = 0; i < 384; ++i) {
    const float v = static_cast<float>(i);
    buffer->append_block(0, &v, 1);
  }
  uint32_t length = 0;
  const float* samples = buffer->take(length);
  ASSERT_EQ(length, 1536u);
  for (int i = 0; i < 384; ++i) ASSERT_EQ(samples[i], static_cast<float>(i));
}

TEST(PcmBuffer, ChannelCountAndStoreSizeFollowTheFirstHeader) {
  struct Case {
    uint32_t version, layer, channels, store_bytes;
  } cases[] = {
      {1, 2, 2, 110592}, {1, 3, 2, 110592}, {1, 1, 2, 36864}, {0, 3, 2, 55296},
      {0, 1, 2, 18432},  {1, 2, 1, 55296},  {0, 1, 1, 9216},
  };
  for (const Case& c : cases) {
    auto buffer = make_buffer(c.version, c.layer, c.channels);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->channels(), c.channels);
    EXPECT_EQ(buffer->capacity() * 4, c.store_bytes);
  }
}

TEST(PcmBuffer, SmallestStoreHoldsTwoOfTheLongestFrames) {
  auto buffer = make_buffer(0, 1, 2);  // LSF Layer I, then a change to Layer III or II
  ASSERT_TRUE(buffer);
  float block[32];
  for (int i = 0; i < 32; ++i) block[i] = static_cast<float>(i);
  for (int round = 0; round < 3; ++round) {
    for (int slot = 0; slot < 72; ++slot)  // 2304 samples per channel
      for (int ch = 0; ch < 2; ++ch) buffer->append_block(ch, block, 32);
    uint32_t length = 0;
    const float* samples = buffer->take(length);
    ASSERT_EQ(length, 2304u * 2 * 4);
    EXPECT_EQ(samples[2 * 2303 + 1], 31.0f);
  }
}

TEST(PcmBuffer, StereoBlocksLeaveTheOtherChannelAlone) {
  // Blocks of every length in either channel order, up to the very end of the store: each
  // channel holds exactly its own values and nothing lands past the last slot.
  auto buffer = make_buffer(0, 1, 2);
  ASSERT_TRUE(buffer);
  const uint32_t capacity = buffer->capacity();
  std::vector<float> left(capacity), right(capacity);
  for (uint32_t i = 0; i < capacity; ++i) {
    left[i] = static_cast<float>(i) + 0.25f;
    right[i] = -static_cast<float>(i) - 0.5f;
  }
  for (uint32_t length = 1; length <= 11; ++length) {
    uint32_t written = 0;
    bool right_first = false;
    while (written < capacity / 2) {
      const uint32_t n = std::min(length, capacity / 2 - written);
      if (right_first) buffer->append_block(1, right.data() + written, n);
      buffer->append_block(0, left.data() + written, n);
      if (!right_first) buffer->append_block(1, right.data() + written, n);
      written += n;
      right_first = !right_first;
    }
    buffer->append_block(1, right.data(), 8);  // all beyond the store: dropped
    uint32_t bytes = 0;
    const float* samples = buffer->take(bytes);
    ASSERT_EQ(bytes, capacity * 4);
    for (uint32_t i = 0; i < capacity / 2; ++i) {
      ASSERT_EQ(samples[2 * i], left[i]) << "length " << length << " sample " << i;
      ASSERT_EQ(samples[2 * i + 1], right[i]) << "length " << length << " sample " << i;
    }
  }
}

TEST(PcmBuffer, PartlyFittingAppendKeepsExactlyWhatFits) {
  // Each channel is `room` samples short of full when 32 more arrive: by blocks (either
  // channel first), by pairs or one by one, exactly the first `room` are kept, the rest dropped.
  float values[32];
  for (int i = 0; i < 32; ++i) values[i] = static_cast<float>(i + 1);
  for (uint32_t wanted : {1u, 2u}) {
    for (int how = 0; how < 4; ++how) {
      for (uint32_t room = 0; room <= 5; ++room) {
        SCOPED_TRACE(testing::Message() << "channels " << wanted << " way " << how << " room " << room);
        auto buffer = make_buffer(0, 1, wanted);
        ASSERT_TRUE(buffer);
        const uint32_t channels = buffer->channels();
        const uint32_t per_channel = buffer->capacity() / channels;
        const std::vector<float> fill(per_channel - room, -1.0f);
        for (uint32_t ch = 0; ch < channels; ++ch) buffer->append_block(ch, fill.data(), per_channel - room);
        if (how == 2 && channels == 2) {
          buffer->append_pair(values, values, 32);
        } else {
          for (uint32_t k = 0; k < channels; ++k) {
            const int ch = how == 1 ? channels - 1 - k : k;
            if (how == 3) {
              for (const float& v : values) buffer->append_block(ch, &v, 1);
            } else {
              buffer->append_block(ch, values, 32);
            }
          }
        }
        uint32_t length = 0;
        const float* samples = buffer->take(length);
        ASSERT_EQ(length, 4 * buffer->capacity());
        for (uint32_t ch = 0; ch < channels; ++ch) {
          for (uint32_t i = per_channel - room - 1; i < per_channel; ++i) {
            const float expected = i + room < per_channel ? -1.0f : values[i + room - per_channel];
            ASSERT_EQ(samples[i * channels + ch], expected) << "channel " << ch << " sample " << i;
          }
        }
      }
    }
  }
}

TEST(PcmBuffer, PairsLandWhereTwoBlocksWouldUpToTheEndOfTheStore) {
  // The same values through append_pair and through append_block per channel, in step and
  // out of step (one channel ahead), in pieces of every length: the stores agree bit for bit,
  // and nothing is written past the last slot.
  auto paired = make_buffer(0, 1, 2);
  auto blocks = make_buffer(0, 1, 2);
  ASSERT_TRUE(paired && blocks);
  const uint32_t capacity = paired->capacity();
  std::vector<float> left(capacity), right(capacity);
  for (uint32_t i = 0; i < capacity; ++i) {
    left[i] = static_cast<float>(i) + 0.25f;
    right[i] = i % 7 == 0 ? -0.0f : -static_cast<float>(i) - 0.5f;
  }
  for (uint32_t ahead = 0; ahead <= 3; ahead += 3) {
    for (uint32_t length = 1; length <= 13; ++length) {
      for (PcmBuffer* buffer : {paired.get(), blocks.get()}) {
        buffer->append_block(1, right.data(), ahead);
      }
      uint32_t written = 0;
      while (written < capacity / 2 + 40) {
        const uint32_t n = length;
        paired->append_pair(left.data() + written % 1000, right.data() + written % 1000, n);
        blocks->append_block(0, left.data() + written % 1000, n);
        blocks->append_block(1, right.data() + written % 1000, n);
        written += n;
      }
      uint32_t paired_bytes = 0, block_bytes = 0;
      const float* a = paired->take(paired_bytes);
      const float* b = blocks->take(block_bytes);
      ASSERT_EQ(paired_bytes, block_bytes);
      ASSERT_EQ(std::memcmp(a, b, capacity * 4), 0) << "length " << length << " ahead " << ahead;
    }
  }
}

TEST(PcmBuffer, SlotsNoChannelWroteHandOutAsZero) {
  // One channel ahead of the other: the slots of the one behind that a take hands out are 0.0
  // the first time the store gets there, by every kind of append.
  auto buffer = make_buffer(1, 2, 2);
  ASSERT_TRUE(buffer);
  const float ones[40] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                          1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  buffer->append_block(1, ones, 9);
  buffer->append_block(1, ones, 1);
  buffer->append_pair(ones, ones, 3);  // out of step: channel by channel
  buffer->append_block(1, ones, 30);
  uint32_t length = 0;
  const float* samples = buffer->take(length);
  ASSERT_EQ(length, 4u * 2 * 43);
  for (uint32_t i = 0; i < 43; ++i) {
    EXPECT_EQ(samples[2 * i], i < 3 ? 1.0f : 0.0f) << i;
    EXPECT_EQ(samples[2 * i + 1], 1.0f) << i;
  }
}

}  // namespace
}  // namespace mpegin
