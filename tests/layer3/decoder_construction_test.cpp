#include <gtest/gtest.h>

#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::DecoderHarness;

TEST(Layer3DecoderConstruction, StreamShapeFromTheFirstHeader) {
  struct Case {
    uint32_t version, mode, frequency;
    uint32_t channels, granules;
    int32_t table;
  };
  const Case cases[] = {
      {1, 0, 0, 2, 2, 3}, {1, 3, 1, 1, 2, 4}, {1, 1, 2, 2, 2, 5},
      {0, 2, 0, 2, 1, 0}, {0, 3, 1, 1, 1, 1}, {0, 1, 2, 2, 1, 2},
  };
  for (const Case& c : cases) {
    DecoderHarness h(c.version, c.mode, c.frequency);
    const Layer3Decoder decoder(h.reader, h.header, h.filter0, &h.filter1, h.sink, false);
    const Layer3State& d = decoder.state();
    SCOPED_TRACE(testing::Message() << "version " << c.version << " mode " << c.mode);
    EXPECT_EQ(d.channel_count, c.channels);
    EXPECT_EQ(d.granule_count, c.granules);
    EXPECT_EQ(d.band_table_index, c.table);
    EXPECT_EQ(d.reservoir.bytes_stored(), 0);
    EXPECT_EQ(d.reservoir.position(), 0);
    EXPECT_EQ(d.reservoir.write_index(), 0);
    for (const auto& channel : d.overlap)
      for (const auto& subband : channel)
        for (float value : subband) ASSERT_EQ(value, 0.0f);
  }
}

}  // namespace
}  // namespace mpegin
