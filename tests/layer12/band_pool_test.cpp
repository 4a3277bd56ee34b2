// Choosing and reusing the band objects of a frame.
#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

#include "bitstream/frame_header.h"
#include "layer12/band_on_bits.h"
#include "layer12/band_pool.h"

namespace mpegin {
namespace {

std::unique_ptr<FrameHeader> make_header(uint32_t version, uint32_t layer, uint32_t mode,
                                         uint32_t subbands, uint32_t bound,
                                         uint32_t mode_extension = 0) {
  auto h = std::make_unique<FrameHeader>();
  h->version = version;
  h->layer = layer;
  h->mode = mode;
  h->subband_count = subbands;
  h->intensity_bound = bound;
  h->mode_extension = mode_extension;
  h->bitrate_index = 10;
  return h;
}

template <class Band>
std::string kinds(const BandList<Band>& list) {
  std::string out;
  for (uint32_t sb = 0; sb < list.count; ++sb) {
    const auto& type = typeid(*list.bands[sb]);
    out += type == typeid(Layer1StereoBand) || type == typeid(Layer2StereoBand)         ? 'S'
           : type == typeid(Layer1IntensityBand) || type == typeid(Layer2IntensityBand) ? 'I'
                                                                                        : 'M';
    EXPECT_EQ(list.bands[sb]->subband(), static_cast<int32_t>(sb));
  }
  return out;
}

TEST(BandPool, ChoosesLayer1KindsByMode) {
  BandPool pool;
  EXPECT_EQ(kinds(pool.select_layer1(*make_header(1, 1, 3, 32, 0))), std::string(32, 'M'));
  EXPECT_EQ(kinds(pool.select_layer1(*make_header(1, 1, 0, 32, 0))), std::string(32, 'S'));
  EXPECT_EQ(kinds(pool.select_layer1(*make_header(1, 1, 2, 32, 0))), std::string(32, 'S'));
  EXPECT_EQ(kinds(pool.select_layer1(*make_header(1, 1, 1, 32, 4))),
            std::string(4, 'S') + std::string(28, 'I'));
}

TEST(BandPool, ChoosesLayer2KindsOverTheCodedSubbands) {
  BandPool pool;
  EXPECT_EQ(kinds(pool.select_layer2(*make_header(1, 2, 3, 12, 0))), std::string(12, 'M'));
  EXPECT_EQ(kinds(pool.select_layer2(*make_header(1, 2, 0, 30, 0))), std::string(30, 'S'));
  EXPECT_EQ(kinds(pool.select_layer2(*make_header(1, 2, 1, 27, 8, 1))),
            std::string(8, 'S') + std::string(19, 'I'));
  EXPECT_EQ(kinds(pool.select_layer2(*make_header(1, 2, 1, 8, 8, 3))), std::string(8, 'S'));
}

TEST(BandPool, LsfLayer2FramesCodeThirtySubbands) {
  // the header rule gives 8 subbands and cuts the bound to 8 for this rate
  const auto lsf = make_header(0, 2, 1, 8, 8, 3);
  const Layer2Limits limits = layer2_limits(*lsf);
  EXPECT_EQ(limits.subband_count, 30u);
  EXPECT_EQ(limits.intensity_bound, 16u);
  BandPool pool;
  EXPECT_EQ(kinds(pool.select_layer2(*lsf)), std::string(16, 'S') + std::string(14, 'I'));
  EXPECT_EQ(layer2_limits(*make_header(0, 2, 0, 27, 0)).intensity_bound, 0u);
  EXPECT_EQ(layer2_limits(*make_header(1, 2, 0, 27, 0)).subband_count, 27u);
}

TEST(BandPool, ReusedBandsStartEveryFrameAfresh) {
  BandPool pool;
  const auto owned = make_header(1, 2, 3, 8, 0);
  const FrameHeader& header = *owned;
  Layer2Band* band = pool.select_layer2(header).bands[0];
  test_support::BitWriter bits;
  bits.put(0, 4);
  test_support::BodyReader body(bits);
  SynthesisFilter filter(0);
  // Leave the band in the middle of a frame, as after a cut-short frame.
  band->parse_allocation(body.reader(), header, nullptr);
  for (int group = 0; group < 5; ++group) band->parse_samples(body.reader());
  band->emit_sample(1, filter, nullptr);

  Layer2Band* again = pool.select_layer2(header).bands[0];
  ASSERT_EQ(again, band);
  for (int group = 1; group <= 12; ++group) {
    EXPECT_EQ(again->parse_samples(body.reader()), group == 12);
    EXPECT_FALSE(again->emit_sample(1, filter, nullptr));
    EXPECT_FALSE(again->emit_sample(1, filter, nullptr));
    EXPECT_TRUE(again->emit_sample(1, filter, nullptr));
  }
}

}  // namespace
}  // namespace mpegin
