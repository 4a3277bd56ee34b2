#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/conformance.h"

namespace mpegin {
namespace {

std::vector<char> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file whose frames change from Layer II to Layer III and back, twice: every Layer III part
// is decoded by a fresh decoder, every Layer II part by the band objects, and each part
// matches the stream decoded on its own once the synthesis filter has forgotten what came
// before (the first frame of each part).
TEST(LayerChange, StreamFollowsLayerChangesInBothDirections) {
  const std::string dir = conformance::directory();
  const std::string layer2 = dir + "/l2-fl13.bit";       // MPEG-1, 32000 Hz, single channel
  const std::string layer3 = dir + "/l3-he_32khz.bit";   // the same
  const std::vector<char> part2 = read_bytes(layer2);
  const std::vector<char> part3 = read_bytes(layer3);
  if (part2.empty() || part3.empty()) {
    if (conformance::required()) FAIL() << "conformance streams missing at " << dir;
    GTEST_SKIP() << "conformance streams missing at " << dir;
  }
  const std::string mixed = ::testing::TempDir() + "layer_change.mp3";
  {
    std::ofstream out(mixed, std::ios::binary);
    for (const std::vector<char>* part : {&part2, &part3, &part2, &part3})
      out.write(part->data(), static_cast<std::streamsize>(part->size()));
  }

  const conformance::Decoded alone2 = conformance::decode_file(layer2);
  const conformance::Decoded alone3 = conformance::decode_file(layer3);
  const conformance::Decoded whole = conformance::decode_file(mixed);
  ASSERT_TRUE(whole.opened);
  EXPECT_EQ(whole.channels, 1);
  ASSERT_FALSE(alone3.samples.empty());
  const size_t expected = 2 * (alone2.samples.size() + alone3.samples.size());
  ASSERT_EQ(whole.samples.size(), expected);

  size_t start = 0;
  for (const conformance::Decoded* part : {&alone2, &alone3, &alone2, &alone3}) {
    const size_t settle = 1152;
    for (size_t i = settle; i < part->samples.size(); ++i) {
      ASSERT_EQ(whole.samples[start + i], part->samples[i]) << "part at " << start << ", sample " << i;
    }
    start += part->samples.size();
  }
  std::remove(mixed.c_str());
}

}  // namespace
}  // namespace mpegin
