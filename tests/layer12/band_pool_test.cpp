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

TEST(BandPool, EveryFrameStartsWithoutSampleSets) {
  BandPool pool;
  const auto owned = make_header(1, 2, 3, 8, 0);
  const FrameHeader& header = *owned;
  Layer2Band* band = pool.select_layer2(header).bands[0];
  test_support::BitWriter bits;
  bits.put(1, 4).put(2, 2).put(3, 6);  // a coded band
  test_support::BodyReader body(bits);
  band->parse_allocation(body.reader(), header, nullptr);
  band->parse_scale_factor_selection(body.reader(), nullptr);
  band->parse_scale_factors(body.reader(), header, pool.samples());
  EXPECT_EQ(pool.samples().set_count(), 1u);
  // A frame cut short after its scale factors leaves nothing behind for the next one.
  pool.select_layer2(header);
  EXPECT_EQ(pool.samples().set_count(), 0u);
  pool.select_layer2(header);
  band->parse_scale_factors(body.reader(), header, pool.samples());
  pool.select_layer1(header);
  EXPECT_EQ(pool.samples().set_count(), 0u);
}

}  // namespace
}  // namespace mpegin
