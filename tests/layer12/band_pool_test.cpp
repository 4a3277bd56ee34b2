// Choosing and reusing the band objects of a frame.
#include <gtest/gtest.h>

#include <cstring>
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

TEST(BandPool, PassesReadWhatTheBandsReadOneByOne) {
  // The pool's passes over each mode's kinds against the virtual calls band by band, on the
  // same random bits: the same reading position after each pass, check word and samples.
  struct Case {
    uint32_t version, layer, mode, subbands, bound, mode_extension;
  } cases[] = {{1, 1, 3, 32, 0, 0}, {1, 1, 0, 32, 0, 0},  {1, 1, 1, 32, 12, 2},
               {1, 2, 3, 27, 0, 0}, {1, 2, 2, 30, 0, 0},  {1, 2, 1, 27, 8, 1},
               {0, 2, 1, 30, 0, 1}, {0, 1, 1, 32, 16, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "layer " << c.layer << " mode " << c.mode);
    const auto header =
        make_header(c.version, c.layer, c.mode, c.subbands, c.bound, c.mode_extension);
    test_support::BitWriter bits;
    uint32_t seed = 7;
    for (int i = 0; i < 600; ++i) bits.put((seed = seed * 1103515245u + 12345u) >> 16, 16);
    test_support::BodyReader pooled_body(bits), single_body(bits);
    MpegFileReader& pooled = pooled_body.reader();
    MpegFileReader& single = single_body.reader();
    BandPool pool, reference;
    Crc16 pooled_crc, single_crc;
    if (c.layer == 1) {
      const BandList<Layer1Band>& list = reference.select_layer1(*header);
      pool.select_layer1(*header);
      pool.parse_layer1_allocations(pooled, *header, &pooled_crc);
      for (uint32_t i = 0; i < list.count; ++i)
        list.bands[i]->parse_allocation(single, *header, &single_crc);
      ASSERT_EQ(pooled_body.bits_read(), single_body.bits_read());
      pool.parse_layer1_scale_factors(pooled, *header);
      for (uint32_t i = 0; i < list.count; ++i)
        list.bands[i]->parse_scale_factors(single, *header, reference.samples());
    } else {
      const BandList<Layer2Band>& list = reference.select_layer2(*header);
      pool.select_layer2(*header);
      pool.parse_layer2_allocations(pooled, *header, &pooled_crc);
      pool.parse_layer2_selections(pooled, &pooled_crc);
      for (uint32_t i = 0; i < list.count; ++i)
        list.bands[i]->parse_allocation(single, *header, &single_crc);
      for (uint32_t i = 0; i < list.count; ++i)
        list.bands[i]->parse_scale_factor_selection(single, &single_crc);
      ASSERT_EQ(pooled_body.bits_read(), single_body.bits_read());
      pool.parse_layer2_scale_factors(pooled, *header);
      for (uint32_t i = 0; i < list.count; ++i)
        list.bands[i]->parse_scale_factors(single, *header, reference.samples());
    }
    EXPECT_EQ(pooled_body.bits_read(), single_body.bits_read());
    EXPECT_EQ(pooled_crc.value, single_crc.value);
    ASSERT_EQ(pool.samples().set_count(), reference.samples().set_count());
    EXPECT_GT(pool.samples().set_count(), 8u);
    for (BandPool* p : {&pool, &reference}) std::memset(&p->subbands(), 0, sizeof p->subbands());
    if (c.layer == 1) {
      pool.samples().read_layer1_slots(pooled, 0, 12, pool.subbands());
      reference.samples().read_layer1_slots(single, 0, 12, reference.subbands());
    } else {
      pool.samples().read_layer2_groups(pooled, 0, 12, pool.subbands());
      reference.samples().read_layer2_groups(single, 0, 12, reference.subbands());
    }
    EXPECT_EQ(std::memcmp(&pool.subbands(), &reference.subbands(), sizeof pool.subbands()), 0);
  }
}

}  // namespace
}  // namespace mpegin
